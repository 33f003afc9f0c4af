// Makes the library's message family show its boxes with QMessageBox.
#pragma once

namespace tarnwatch {

void InstallLibraryMessageBox();

}  // namespace tarnwatch

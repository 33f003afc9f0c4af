// The property sheets behind the engine's sheet port: "Add/Edit" and
// "Global Options", run modally over the main window.
#pragma once

#include <QWidget>
#include <memory>

#include "engine/Ports.h"

namespace tarnwatch {

std::unique_ptr<SheetPort> MakeQtSheets(QWidget* parent, SoundPort* sound, MessagePump* pump);

}  // namespace tarnwatch

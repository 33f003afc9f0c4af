// "Export List..." and "Import List..." of the notification icon's menu: the
// list's text form written from, or read into, the running monitor.
#pragma once

class QWidget;

namespace tarnwatch {

class MonitorEngine;

// Asks for a file and writes the rows the window shows to it.
void ExportListFromWindow(QWidget* parent, MonitorEngine& engine);
// Asks for a file, reads and checks it, asks before replacing the list,
// then replaces it. Every error is shown and changes nothing.
void ImportListFromWindow(QWidget* parent, MonitorEngine& engine);

}  // namespace tarnwatch

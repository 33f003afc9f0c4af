// The autostart entry: a desktop-entry file in $XDG_CONFIG_HOME/autostart
// that the desktop reads at log-in to start the monitor.
#pragma once

#include <QString>

namespace tarnwatch {

// $XDG_CONFIG_HOME/autostart/Tarnwatch.desktop (default ~/.config).
QString AutostartFilePath();
// True when the file exists and the desktop would start it: neither
// "Hidden=true" nor "X-GNOME-Autostart-enabled=false", which desktops write
// when the user switches an entry off in their own settings.
bool AutostartActive();
// The running program's path.
QString RunningProgram();
// Writes the file that starts `program`; false when it cannot be written.
bool WriteAutostartFile(const QString& program = RunningProgram());
void RemoveAutostartFile();

// The value of an "Exec=" key that starts `program` with no arguments,
// whatever characters its path holds: the path as one quoted argument, with
// the escapes of quoted arguments, then those of string values, and "%"
// doubled.
QString DesktopExecValue(const QString& program);

}  // namespace tarnwatch

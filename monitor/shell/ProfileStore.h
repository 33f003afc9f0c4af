// The global settings in the user's profile: QSettings, organisation
// "Quillon", application "Tarnwatch", group "Options" (an INI file,
// ~/.config/Quillon/Tarnwatch.conf), and the autostart file.
#pragma once

#include <QString>
#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

// Something other than a regular file in the profile's place (a FIFO, a
// directory) is never opened: every value reads as its default, nothing is
// written over it, and standard error says so once.
class ProfileStore final : public SettingsStore {
public:
    enum class Autostart {
        // "Startup" and the autostart file agree after reading: a first
        // start (no "Startup" yet) creates the file, later starts show
        // whether the desktop still starts the program.
        kKeepInStep,
        // Read "Startup" as stored and never touch the file (the headless
        // mode, which has no option to show).
        kLeaveAlone,
    };
    explicit ProfileStore(Autostart autostart = Autostart::kKeepInStep) : autostart_(autostart) {}

    void ReadSettings(GlobalSettings& settings) override;
    void WriteListAndAlertSettings(const GlobalSettings& settings) override;
    void WriteRunOptions(const GlobalSettings& settings, int startupBefore) override;

    // $XDG_CONFIG_HOME/autostart/Tarnwatch.desktop (default ~/.config).
    static QString AutostartFile();
    // The metrics file of the section "Metrics", value "MetricsFile"; ""
    // when none is set. The program only reads it.
    static std::string MetricsFile();

private:
    Autostart autostart_;
};

}  // namespace tarnwatch

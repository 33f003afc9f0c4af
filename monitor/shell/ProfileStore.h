// The global settings in the user's profile: QSettings, organisation
// "Quillon", application "Tarnwatch", group "Options" (an INI file,
// ~/.config/Quillon/Tarnwatch.conf), and the autostart file.
#pragma once

#include <QString>
#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

class ProfileStore final : public SettingsStore {
public:
    void ReadSettings(GlobalSettings& settings) override;
    void WriteListAndAlertSettings(const GlobalSettings& settings) override;
    void WriteRunOptions(const GlobalSettings& settings, int startupBefore) override;

    // $XDG_CONFIG_HOME/autostart/Tarnwatch.desktop (default ~/.config).
    static QString AutostartFile();
    // The metrics file of the section "Metrics", value "MetricsFile"; ""
    // when none is set. The program only reads it.
    static std::string MetricsFile();
};

}  // namespace tarnwatch

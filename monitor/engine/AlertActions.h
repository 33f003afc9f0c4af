// What the monitor does to get the operator's attention: restore the window,
// play a sound, run a command. The entries' alerts and the Internet gate both
// decide through FailureAlertFires and act through this one class.
#pragma once

#include <cstdint>
#include <string>

#include "engine/CommandExpand.h"
#include "engine/Ports.h"
#include "engine/ServiceItem.h"
#include "engine/Settings.h"

namespace tarnwatch {

class AlertActions {
public:
    AlertActions(const Ports& ports, const GlobalSettings& settings)
        : ports_(ports), settings_(settings) {}

    // Brings the window back when the "restore" option asks for it.
    void RestoreMainWindow();
    // A failure of a run of failures: the failure sound, when its mode fires
    // for it and a sound is named. `repeated` is false for the first failure.
    void FailureSound(const SoundAlert& sound, bool repeated);
    // The failure command likewise; true when it was run, false also for a
    // command that was refused (see ExpandCommand).
    bool FailureCommand(const BatchAlert& batch, bool repeated, const CommandMacros& macros);
    // Back to normal: a looping failure sound stops.
    void StopFailureLoop(const SoundAlert& sound);
    // The recovery sound and command, when their modes are on; the second
    // returns true when the command was run.
    void OkAgainSound(const SoundAlert& sound);
    bool OkAgainCommand(const BatchAlert& batch, const CommandMacros& macros);
    // A desktop notification where "Notify" is on: `status` and the time in
    // its body. `key` names what it is about, so a newer one replaces it.
    void Notify(const std::string& key, const std::string& summary, const std::string& status,
                bool offerSnooze);
    // A notification that reminds of a failure at the end of a snooze or
    // pause: sent whatever holds the other alerts.
    void Remind(const std::string& key, const std::string& summary, const std::string& text);

    // Holds what reaches the person for one entry's alerts (its snooze);
    // the pause in the settings holds every alert.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    bool Quiet() const;

private:
    void PlaySound(const char* name, std::int32_t mode);
    // False when the command was refused (see ExpandCommand).
    bool RunAlertCommand(const char* command, std::int32_t wait, const CommandMacros& macros);

    Ports ports_;
    const GlobalSettings& settings_;
    bool quiet_ = false;
};

// One entry's alerts, held while the entry is snoozed.
class QuietScope {
public:
    QuietScope(AlertActions& alerts, bool quiet) : alerts_(alerts) { alerts_.SetQuiet(quiet); }
    ~QuietScope() { alerts_.SetQuiet(false); }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    AlertActions& alerts_;
};

// The sound enable of a failure class (a state bit); 0 for any other bit.
std::int32_t SoundEnabledFor(const SoundAlert& sound, std::int32_t classBit);

}  // namespace tarnwatch

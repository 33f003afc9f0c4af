// The Internet connectivity gate.
#include "engine/InternetGate.h"

#include <algorithm>

#include "quillongen/probes.h"
#include "res/StringTable.h"

namespace tarnwatch {

bool InternetGate::Check(const CommandMacros& macros) {
    constexpr int kPingSeconds = 5;
    const InternetAlerts& n = settings_.internetAlerts;
    bool reachable = false;
    const int count = std::clamp(settings_.internetAddressCount, 0, kMaxInternetAddresses);
    for (int i = 0; i < count && !reachable; ++i) {
        reachable = PingICMP(settings_.internetAddresses[i], kPingSeconds) == 1;
    }

    if (reachable) {
        const bool wasDown = state_ == kStateUnavailable;
        if (wasDown && n.messageBoxWhenAvailable) {
            alerts_.RestoreMainWindow();
            if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_RESTORED));
        }
        alerts_.StopFailureLoop(n.sound);
        if (wasDown) {
            alerts_.OkAgainSound(n.sound);
            (void)alerts_.OkAgainCommand(n.batch, macros);
        }
        state_ = kStateAvailable;
        return true;
    }

    const bool repeated = !(state_ == kStateAvailable || state_ == kStateUntested);
    const auto boxMode = static_cast<MessageBoxMode>(n.messageBoxMode);
    if (FailureAlertFires(RepeatOf(boxMode), repeated)) {
        alerts_.RestoreMainWindow();
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_UNAVAILABLE));
    }
    alerts_.FailureSound(n.sound, repeated);
    (void)alerts_.FailureCommand(n.batch, repeated, macros);
    state_ = kStateUnavailable;
    return false;
}

}  // namespace tarnwatch

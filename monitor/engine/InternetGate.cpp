// The Internet connectivity gate.
#include "engine/InternetGate.h"

#include <algorithm>

#include "engine/PumpedPing.h"
#include "res/StringTable.h"

namespace tarnwatch {

bool InternetGate::Check(const CommandMacros& macros) {
    const int answer = Ping();
    // A ping cut short by a close says nothing about the Internet: no state
    // change and no alert.
    if (answer == kPingStopped) return false;
    return Judge(answer == 1, macros);
}

int InternetGate::Ping() {
    constexpr int kPingSeconds = 5;
    const int count = std::clamp(settings_.internetAddressCount, 0, kMaxInternetAddresses);
    for (int i = 0; i < count; ++i) {
        const int result = PumpedPing(settings_.internetAddresses[i], kPingSeconds, ports_.pump);
        if (result == kPingStopped) return kPingStopped;
        if (result == 1) return 1;
    }
    return 0;
}

bool InternetGate::Judge(bool reachable, const CommandMacros& macros) {
    const InternetAlerts& n = settings_.internetAlerts;
    if (reachable) {
        const bool wasDown = state_ == kStateUnavailable;
        if (wasDown && n.messageBoxWhenAvailable && !alerts_.Quiet()) {
            alerts_.RestoreMainWindow();
            if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_RESTORED));
        }
        alerts_.StopFailureLoop(n.sound);
        if (wasDown) {
            alerts_.Notify(kInternetNoteKey, LoadString(IDS_NOTE_INTERNET),
                           LoadString(IDS_NOTE_INTERNET_UP), false);
            alerts_.OkAgainSound(n.sound);
            (void)alerts_.OkAgainCommand(n.batch, macros);
        }
        state_ = kStateAvailable;
        return true;
    }

    const bool repeated = !(state_ == kStateAvailable || state_ == kStateUntested);
    if (!repeated) {
        alerts_.Notify(kInternetNoteKey, LoadString(IDS_NOTE_INTERNET),
                       LoadString(IDS_NOTE_INTERNET_DOWN), false);
    }
    const auto boxMode = static_cast<MessageBoxMode>(n.messageBoxMode);
    if (FailureAlertFires(RepeatOf(boxMode), repeated) && !alerts_.Quiet()) {
        alerts_.RestoreMainWindow();
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_UNAVAILABLE));
    }
    alerts_.FailureSound(n.sound, repeated);
    (void)alerts_.FailureCommand(n.batch, repeated, macros);
    state_ = kStateUnavailable;
    return false;
}

}  // namespace tarnwatch

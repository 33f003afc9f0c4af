// The Internet connectivity gate: before a gated network entry is tested,
// the test addresses are pinged in order until one answers. While none does,
// gated entries are skipped and the operator is told as configured.
#include <algorithm>

#include "engine/MonitorEngine.h"
#include "quillongen/probes.h"
#include "res/StringTable.h"

namespace tarnwatch {

bool MonitorEngine::CheckInternetGate(int row) {
    constexpr int kPingSeconds = 5;
    const InternetAlerts& n = settings_.internetAlerts;
    bool reachable = false;
    const int count = std::clamp(settings_.internetAddressCount, 0, kMaxInternetAddresses);
    for (int i = 0; i < count && !reachable; ++i) {
        reachable = PingICMP(settings_.internetAddresses[i], kPingSeconds) == 1;
    }

    if (reachable) {
        const bool wasDown = internetState_ == kStateUnavailable;
        if (wasDown && n.messageBoxWhenAvailable) {
            RestoreMainWindow();
            if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_RESTORED));
        }
        if (n.failedSound[0] != '\0' && n.soundMode == 3 && ports_.sound) ports_.sound->Purge();
        if (wasDown && n.soundMode != 0 && n.okAgainSound[0] != '\0') {
            RestoreMainWindow();
            PlayAlertSound(n.okAgainSound, n.soundMode);
        }
        if (wasDown && n.batchMode != 0 && n.okAgainCommand[0] != '\0') {
            RunAlertCommand(n.okAgainCommand, n.okAgainCommandWait, row);
        }
        internetState_ = kStateAvailable;
        return true;
    }

    const bool once = internetState_ == kStateAvailable || internetState_ == kStateUntested;
    if (n.messageBoxMode == 2 || (n.messageBoxMode == 1 && once)) {
        RestoreMainWindow();
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_INTERNET_UNAVAILABLE));
    }
    if ((n.soundMode == 2 || ((n.soundMode == 1 || n.soundMode == 3) && once)) &&
        n.failedSound[0] != '\0') {
        RestoreMainWindow();
        PlayAlertSound(n.failedSound, n.soundMode);
    }
    if ((n.batchMode == 2 || (n.batchMode == 1 && once)) && n.failedCommand[0] != '\0') {
        RestoreMainWindow();
        RunAlertCommand(n.failedCommand, n.failedCommandWait, row);
    }
    internetState_ = kStateUnavailable;
    return false;
}

}  // namespace tarnwatch

// Sleep and wake. A test that waits while the computer goes to sleep would
// end in a time-out that says nothing about the service, and one started
// while the network is still coming back would fail for the same reason; so
// a sleep cuts the pass short without judging anything, and the wake tests
// again once the network answers.
#include <poll.h>

#include <algorithm>

#include "engine/MonitorEngine.h"
#include "engine/ProbeClient.h"
#include "engine/PumpedPing.h"

namespace tarnwatch {

void MonitorEngine::OnSleep() {
    if (asleep_ || shutdownDone_) return;
    asleep_ = true;
    // Outside a pass or a dialog the countdowns run: hold them. Otherwise
    // they are held already and the last resume leaves them so.
    if (pauseDepth_ == 0) scheduler_.PauseSchedule();
    if (ports_.timers) ports_.timers->KillTimer(kTimerWake);
    pass_.CutWaitShort();
    if (model_.observer) model_.observer->ScheduleChanged();
}

void MonitorEngine::OnWake() {
    if (!asleep_ || shutdownDone_) return;
    asleep_ = false;
    // From the event loop: the wake may come during a pass's wait, which
    // must unwind first.
    if (ports_.timers) ports_.timers->SetTimer(kTimerWake, 0);
}

void MonitorEngine::RunWake() {
    if (asleep_ || shutdownDone_) return;
    if (Busy()) {
        // A pass, a sheet or a message still runs; the countdowns stay held.
        if (ports_.timers) ports_.timers->SetTimer(kTimerWake, 500);
        return;
    }
    PauseSchedule();
    WaitForNetwork();
    if (scheduler_.timersOn()) {
        for (int cls : {kFrequencyHigh, kFrequencyMedium, kFrequencyLow}) {
            if (PassCut()) break;
            if (UpdateScheduler::ClassInterval(cls, model_.settings) == 0) continue;
            pass_.SetPassClass(cls);
            RunTestPass(-1);
        }
    }
    pass_.SetPassClass(kPassAll);
    // A sleep during these passes holds the countdowns again until its wake.
    if (!asleep_) scheduler_.ScheduleClass(kPassAll);
    ResumeSchedule();
}

void MonitorEngine::WaitForNetwork() {
    const int count = std::clamp(model_.settings.internetAddressCount, 0, kMaxInternetAddresses);
    if (count == 0 || !ports_.clock) return;
    const std::int64_t end = ports_.clock->MonotonicMs() + kWakeNetworkWaitMs;
    for (;;) {
        for (int i = 0; i < count; ++i) {
            const std::int64_t left = end - ports_.clock->MonotonicMs();
            if (left <= 0 || PassCut()) return;
            const int seconds = static_cast<int>(std::clamp<std::int64_t>(left / 1000, 1, 2));
            const int result =
                PumpedPing(model_.settings.internetAddresses[i], seconds, ports_.pump);
            if (result == 1 || result == kPingStopped) return;
        }
        // A network that is not up yet fails names and routes at once: a
        // moment's rest before the next round, the window served meanwhile.
        const std::int64_t rest = std::min<std::int64_t>(ports_.clock->MonotonicMs() + 500, end);
        while (ports_.clock->MonotonicMs() < rest && !PassCut()) {
            ports_.pump->Pump();
            poll(nullptr, 0, 20);
        }
    }
}

}  // namespace tarnwatch

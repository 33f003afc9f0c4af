// The schedule's commands: pausing around passes and dialogs, and the
// Timers "&On" and "O&ff" buttons.
#include "engine/MonitorEngine.h"

namespace tarnwatch {

// Pauses nest: a sheet opened from the About box's time, a pass inside a
// list operation, a message inside a pass. Only the outermost resume starts
// the countdowns again, and only then may a close held meanwhile go ahead.
void MonitorEngine::PauseSchedule() {
    if (pauseDepth_++ == 0) scheduler_.PauseSchedule();
    if (observer_) observer_->ScheduleChanged();
}

void MonitorEngine::ResumeSchedule() {
    if (pauseDepth_ == 0) return;
    // Asleep, the countdowns stay held until the wake's passes have run.
    if (--pauseDepth_ == 0 && !shutdownDone_ && !asleep_) scheduler_.ResumeSchedule();
    if (observer_) observer_->ScheduleChanged();
    if (pauseDepth_ == 0) CloseIfRequested();
}

void MonitorEngine::OnTimersOn() {
    // The buttons cannot be reached while anything is paused; should a click
    // come through anyway, the countdowns must stay frozen.
    if (!Busy()) scheduler_.TimersOn();
    if (observer_) observer_->ScheduleChanged();
}

void MonitorEngine::OnTimersOff() {
    if (!Busy()) scheduler_.TimersOff();
    if (observer_) observer_->ScheduleChanged();
}

}  // namespace tarnwatch

// The schedule's commands: pausing around passes and dialogs, and the
// Timers "&On" and "O&ff" buttons.
#include "engine/MonitorEngine.h"

namespace tarnwatch {

void MonitorEngine::PauseSchedule() {
    scheduler_.PauseSchedule();
    if (observer_) observer_->ScheduleChanged();
}

void MonitorEngine::ResumeSchedule() {
    scheduler_.ResumeSchedule();
    if (observer_) observer_->ScheduleChanged();
}

void MonitorEngine::OnTimersOn() {
    scheduler_.TimersOn();
    if (observer_) observer_->ScheduleChanged();
}

void MonitorEngine::OnTimersOff() {
    scheduler_.TimersOff();
    if (observer_) observer_->ScheduleChanged();
}

}  // namespace tarnwatch

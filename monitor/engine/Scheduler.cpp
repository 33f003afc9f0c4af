// The update scheduler.
#include "engine/Scheduler.h"

#include <cstdio>
#include <ctime>

namespace tarnwatch {

std::int64_t UpdateScheduler::ClassInterval(int cls, const GlobalSettings& s) {
    switch (cls) {
        case kFrequencyLow:
            return static_cast<std::int64_t>(s.lowInterval) * 3600;
        case kFrequencyMedium:
            return static_cast<std::int64_t>(s.mediumInterval / 2) * 3600 +
                   (s.mediumInterval % 2 ? 1800 : 0);
        case kFrequencyHigh:
            return static_cast<std::int64_t>(s.highInterval) * 60;
        default:
            return 0;
    }
}

std::string UpdateScheduler::DurationText(std::int64_t seconds) {
    const std::int64_t t = ((seconds % 86400) + 86400) % 86400;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(t / 3600),
                  static_cast<int>(t / 60 % 60), static_cast<int>(t % 60));
    return buf;
}

std::string UpdateScheduler::TimeOfDayText(std::int64_t time) {
    time_t t = static_cast<time_t>(time);
    tm local{};
    char buf[32];
    if (!localtime_r(&t, &local) || std::strftime(buf, sizeof buf, "%I:%M %p", &local) == 0) {
        return "";
    }
    return buf;
}

int UpdateScheduler::Setting(int cls) const {
    switch (cls) {
        case kFrequencyLow:
            return settings_.lowInterval;
        case kFrequencyMedium:
            return settings_.mediumInterval;
        case kFrequencyHigh:
            return settings_.highInterval;
        default:
            return 0;
    }
}

void UpdateScheduler::ShowClock() {
    view_.clock = TimeOfDayText(lastTick_);
}

void UpdateScheduler::ScheduleClass(int k) {
    lastTick_ = clock_.Now();
    ShowClock();
    for (int c : {kFrequencyLow, kFrequencyMedium, kFrequencyHigh}) {
        if (k != c && k != kPassAll) continue;
        const auto i = static_cast<std::size_t>(c);
        interval_[i] = ClassInterval(c, settings_);
        next_[i] = lastTick_ + interval_[i];
        view_.nextTime[i] = TimeOfDayText(next_[i]);
        remaining_[i] = interval_[i];
    }
}

void UpdateScheduler::PauseSchedule() {
    timers_.KillTimer(kTimerUpdateTick);
    lastTick_ = clock_.Now();
    for (int c : {kFrequencyLow, kFrequencyMedium, kFrequencyHigh}) {
        const auto i = static_cast<std::size_t>(c);
        remaining_[i] = next_[i] - lastTick_;
        view_.nextTime[i].clear();
    }
}

void UpdateScheduler::ResumeSchedule() {
    lastTick_ = clock_.Now();
    for (int c : {kFrequencyLow, kFrequencyMedium, kFrequencyHigh}) {
        const auto i = static_cast<std::size_t>(c);
        if (Setting(c) == 0 || !view_.timersOn) {
            view_.enabled[i] = false;
            view_.nextTime[i].clear();
            continue;
        }
        view_.enabled[i] = true;
        view_.countdown[i] = DurationText(remaining_[i]);
        next_[i] = lastTick_ + remaining_[i];
        view_.nextTime[i] = TimeOfDayText(next_[i]);
    }
    timers_.SetTimer(kTimerUpdateTick, tickPeriodSeconds * 1000);
}

void UpdateScheduler::OnUpdateTick(const std::function<void(int)>& runClass) {
    timers_.KillTimer(kTimerUpdateTick);
    lastTick_ = clock_.Now();
    ShowClock();
    if (view_.timersOn) {
        for (int c : {kFrequencyHigh, kFrequencyMedium, kFrequencyLow}) {
            const auto i = static_cast<std::size_t>(c);
            if (next_[i] < lastTick_) {
                if (Setting(c) != 0) {
                    runClass(c);
                    ScheduleClass(c);
                } else {
                    view_.countdown[i].clear();
                }
            } else if (Setting(c) != 0) {
                view_.countdown[i] = DurationText(next_[i] - lastTick_);
            } else {
                view_.countdown[i].clear();
            }
        }
    }
    timers_.SetTimer(kTimerUpdateTick, tickPeriodSeconds * 1000);
}

void UpdateScheduler::TimersOn() {
    timers_.KillTimer(kTimerUpdateTick);
    view_.timersOn = true;
    ScheduleClass(0);
    ResumeSchedule();
}

void UpdateScheduler::TimersOff() {
    view_.timersOn = false;
    PauseSchedule();
    ScheduleClass(0);
    ResumeSchedule();
}

}  // namespace tarnwatch

// The update scheduler: three timed frequency classes counted down on the
// two-second tick (timer 108), frozen while a pass or a modal dialog runs,
// and the texts of the main window's timers area.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/Ports.h"
#include "engine/Settings.h"

namespace tarnwatch {

// What the timers area shows, by class number (1 low, 2 medium, 3 high;
// index 0 unused).
struct ScheduleView {
    std::string clock;
    std::array<std::string, 4> countdown;
    std::array<std::string, 4> nextTime;
    std::array<bool, 4> enabled{};
    bool timersOn = true;
};

class UpdateScheduler {
public:
    UpdateScheduler(const Clock& clock, TimerPort& timers, const GlobalSettings& settings)
        : clock_(clock), timers_(timers), settings_(settings) {}

    // Interval in seconds of class 1, 2 or 3 from the settings; 0 = off.
    static std::int64_t ClassInterval(int cls, const GlobalSettings& settings);
    // A duration as "%H:%M:%S" with the hours taken modulo 24.
    static std::string DurationText(std::int64_t seconds);
    // A time as "%I:%M %p" in local time.
    static std::string TimeOfDayText(std::int64_t time);

    // Starts the countdown of class k afresh (1-3 one class, 4 all, 0 none:
    // only the clock is refreshed).
    void ScheduleClass(int k);
    // Stops the tick and freezes the countdowns.
    void PauseSchedule();
    // Restarts the countdowns from their frozen values and the tick.
    void ResumeSchedule();
    // The tick: runs `runClass(c)` for every due class, high first.
    void OnUpdateTick(const std::function<void(int)>& runClass);
    // The "&On" and "O&ff" buttons.
    void TimersOn();
    void TimersOff();

    const ScheduleView& View() const { return view_; }
    bool timersOn() const { return view_.timersOn; }
    std::int64_t RemainingTime(int cls) const { return remaining_[static_cast<std::size_t>(cls)]; }
    std::int64_t NextUpdateTime(int cls) const { return next_[static_cast<std::size_t>(cls)]; }
    int tickPeriodSeconds = 2;

private:
    int Setting(int cls) const;
    void ShowClock();

    const Clock& clock_;
    TimerPort& timers_;
    const GlobalSettings& settings_;
    std::int64_t lastTick_ = 0;
    std::array<std::int64_t, 4> interval_{};
    std::array<std::int64_t, 4> next_{};
    std::array<std::int64_t, 4> remaining_{};
    ScheduleView view_;
};

}  // namespace tarnwatch

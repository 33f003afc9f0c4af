// The update scheduler against a manual clock and fake timers.
#include "engine/Scheduler.h"

#include <gtest/gtest.h>

#include "fakes/FakePorts.h"

namespace tarnwatch {
namespace {

TEST(SchedulerArithmetic, IntervalsAndDurationTexts) {
    GlobalSettings s;
    s.mediumInterval = 3;
    EXPECT_EQ(UpdateScheduler::ClassInterval(kFrequencyMedium, s), 5400);
    s.mediumInterval = 48;
    EXPECT_EQ(UpdateScheduler::ClassInterval(kFrequencyMedium, s), 86400);
    s.mediumInterval = 1;
    EXPECT_EQ(UpdateScheduler::ClassInterval(kFrequencyMedium, s), 1800);
    s.lowInterval = 24;
    EXPECT_EQ(UpdateScheduler::ClassInterval(kFrequencyLow, s), 86400);
    s.highInterval = 60;
    EXPECT_EQ(UpdateScheduler::ClassInterval(kFrequencyHigh, s), 3600);
    EXPECT_EQ(UpdateScheduler::DurationText(86400), "00:00:00");
    EXPECT_EQ(UpdateScheduler::DurationText(86398), "23:59:58");
    EXPECT_EQ(UpdateScheduler::DurationText(5400), "01:30:00");
    EXPECT_EQ(UpdateScheduler::DurationText(-2), "23:59:58");
}

class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() : scheduler(platform.clock, platform.timers, settings) {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    // Advances the clock by whole ticks and runs each tick.
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) {
            platform.manualClock.AdvanceMs(2000);
            scheduler.OnUpdateTick(run);
        }
    }
    fakes::FakePlatform platform;
    GlobalSettings settings;
    UpdateScheduler scheduler;
    std::vector<int> ran;
    std::function<void(int)> run = [this](int c) {
        ran.push_back(c);
        // a pass freezes the schedule around itself, as the buttons do
        scheduler.PauseSchedule();
        platform.manualClock.AdvanceMs(5000);
        scheduler.ResumeSchedule();
    };
};

TEST_F(SchedulerTest, FullDayCountdownReadsMidnightThenCountsDown) {
    settings.lowInterval = 24;
    scheduler.ScheduleClass(kPassAll);
    scheduler.ResumeSchedule();
    EXPECT_EQ(scheduler.View().countdown[kFrequencyLow], "00:00:00");
    EXPECT_TRUE(scheduler.View().enabled[kFrequencyLow]);
    EXPECT_FALSE(scheduler.View().enabled[kFrequencyHigh]);
    EXPECT_EQ(scheduler.View().nextTime[kFrequencyHigh], "");
    EXPECT_EQ(platform.timers.Period(kTimerUpdateTick), 2000);
    Ticks(1);
    EXPECT_EQ(scheduler.View().countdown[kFrequencyLow], "23:59:58");
    Ticks(1);
    EXPECT_EQ(scheduler.View().countdown[kFrequencyLow], "23:59:56");
    EXPECT_TRUE(ran.empty());
}

TEST_F(SchedulerTest, DueClassesRunHighThenMediumThenLowAndRestart) {
    settings.highInterval = 1;
    settings.mediumInterval = 1;
    settings.lowInterval = 0;
    scheduler.ScheduleClass(kPassAll);
    scheduler.ResumeSchedule();
    Ticks(30);  // 60 s: both are due only after their time has passed
    EXPECT_TRUE(ran.empty());
    Ticks(900);  // half an hour
    ASSERT_GE(ran.size(), 3u);
    // The first tick past half an hour finds both due: high first.
    auto it = std::find(ran.begin(), ran.end(), kFrequencyMedium);
    ASSERT_NE(it, ran.end());
    ASSERT_NE(it, ran.begin());
    EXPECT_EQ(*(it - 1), kFrequencyHigh);
    EXPECT_EQ(std::count(ran.begin(), ran.end(), kFrequencyLow), 0);
    // The high class restarted from the end of its pass.
    EXPECT_LE(scheduler.NextUpdateTime(kFrequencyHigh) - platform.clock.Now(), 60);
}

TEST_F(SchedulerTest, TimersOffThenOnResumesWhereItStood) {
    settings.highInterval = 10;
    scheduler.ScheduleClass(kPassAll);
    scheduler.ResumeSchedule();
    Ticks(30);
    const std::string shown = scheduler.View().countdown[kFrequencyHigh];
    EXPECT_EQ(shown, "00:09:00");
    scheduler.TimersOff();
    EXPECT_FALSE(scheduler.View().enabled[kFrequencyHigh]);
    EXPECT_TRUE(platform.timers.IsArmed(kTimerUpdateTick)) << "the clock keeps running";
    Ticks(300);  // ten minutes off
    EXPECT_TRUE(ran.empty());
    scheduler.TimersOn();
    EXPECT_EQ(scheduler.View().countdown[kFrequencyHigh], shown);
    EXPECT_EQ(scheduler.RemainingTime(kFrequencyHigh), 540);
}

TEST_F(SchedulerTest, PauseFreezesCountdowns) {
    settings.highInterval = 2;
    scheduler.ScheduleClass(kPassAll);
    scheduler.ResumeSchedule();
    scheduler.PauseSchedule();
    EXPECT_FALSE(platform.timers.IsArmed(kTimerUpdateTick));
    EXPECT_EQ(scheduler.View().nextTime[kFrequencyHigh], "");
    platform.manualClock.AdvanceMs(600'000);  // a long modal dialog
    scheduler.ResumeSchedule();
    EXPECT_EQ(scheduler.RemainingTime(kFrequencyHigh), 120);
    EXPECT_EQ(scheduler.View().countdown[kFrequencyHigh], "00:02:00");
}

}  // namespace
}  // namespace tarnwatch

// Snoozes and the pause: where they end, what the snooze file keeps, and
// which changes of an entry make it another entry.
#include "engine/AlertSilence.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "engine/EntryKey.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

TEST(AlertSilence, PauseAndSnoozesHoldUntilTheirEndAndNotAtIt) {
    GlobalSettings s;
    s.alertsPausedUntil = 1000;
    EXPECT_TRUE(AlertsPaused(s, 999));
    EXPECT_FALSE(AlertsPaused(s, 1000));
    s.alertsPausedUntil = kPausedUntilResumed;
    EXPECT_TRUE(AlertsPaused(s, 1'000'000));
    s.alertsPausedUntil = 0;
    EXPECT_FALSE(AlertsPaused(s, 0));

    AlertSilence silence;
    silence.Snooze(1, 1000);
    silence.Snooze(2, kSnoozeUntilOk);
    silence.Snooze(3, 2000);
    EXPECT_EQ(silence.SnoozedUntil(1, 999), 1000);
    EXPECT_EQ(silence.SnoozedUntil(1, 1000), 0);
    EXPECT_EQ(silence.NextEnd(), 1000) << "the snooze until ok has no end time";
    EXPECT_TRUE(silence.TakeEnded(999).empty());
    EXPECT_EQ(silence.TakeEnded(1000), std::vector<std::uint64_t>{1});
    EXPECT_EQ(silence.NextEnd(), 2000);
    EXPECT_FALSE(silence.Recovered(3)) << "a timed snooze outlasts a recovery";
    EXPECT_TRUE(silence.Recovered(2));
    EXPECT_EQ(silence.SnoozedUntil(2, 0), 0);
}

TEST(AlertSilence, FileKeepsRunningSnoozesAndSkipsWhatDoesNotRead) {
    fakes::TempDir dir;
    const std::string file = dir / "Tarnwatch.snooze";
    AlertSilence saved;
    saved.Snooze(0xabcdef0123456789ULL, 5000);
    saved.Snooze(7, kSnoozeUntilOk);
    saved.Snooze(8, 4000);
    ASSERT_TRUE(saved.Save(file, nullptr));
    std::ofstream(file, std::ios::app)
        << "not-a-key 9999\n00000000000000zz 9999\n0000000000000009\n";

    AlertSilence loaded;
    loaded.Load(file, 4000);
    EXPECT_EQ(loaded.Count(), 2u) << "the run-out snooze and the bad lines are left out";
    EXPECT_EQ(loaded.SnoozedUntil(0xabcdef0123456789ULL, 4000), 5000);
    EXPECT_EQ(loaded.SnoozedUntil(7, 4000), kSnoozeUntilOk);

    EXPECT_TRUE(loaded.KeepOnly({7}));
    loaded.EndSnooze(7);
    ASSERT_TRUE(loaded.Save(file, nullptr));
    EXPECT_FALSE(std::ifstream(file).good()) << "no snooze, no file";
}

TEST(AlertSilence, AnEditMakesAnotherEntryButTestsAndTheEnableDoNot) {
    ServiceItem entry{};
    std::snprintf(entry.address, sizeof entry.address, "%s", "host.test");
    const std::uint64_t key = EntryKey(entry);
    ServiceItem tested = entry;
    tested.state = kStateUnavailable;
    tested.attempt = 3;
    tested.lastTestTime = 12345;
    tested.row = 9;
    tested.enabled = 1;
    EXPECT_EQ(EntryKey(tested), key);
    ServiceItem edited = entry;
    edited.attempts = 2;
    EXPECT_NE(EntryKey(edited), key);
    std::uint64_t back = 0;
    ASSERT_TRUE(ParseEntryKey(EntryKeyText(key), back));
    EXPECT_EQ(back, key);
    EXPECT_FALSE(ParseEntryKey(EntryKeyText(key).substr(1), back)) << "15 digits";
    EXPECT_FALSE(ParseEntryKey(EntryKeyText(key) + "0", back)) << "17 digits";
}

}  // namespace
}  // namespace tarnwatch

// The Internet gate in real passes: the address list pinged on loopback,
// gated entries skipped untouched while no address answers, and the message
// box, sound and command alerts on the changes of the Internet state.
#include <gtest/gtest.h>

#include "CycleFixture.h"

namespace tarnwatch::cycle {
namespace {

using Texts = std::vector<std::string>;
const char* const kDown = "Internet unavailable - current test aborted";
const char* const kRestored = "Internet connectivity restored.";

class InternetGate : public CycleTest {
protected:
    void SetReachable(bool reachable) {
        engine->SettingsForTesting().internetAddressCount = reachable ? 1 : 0;
    }
    Texts TakeBoxes() {
        auto shown = platform->messageBox.shown;
        platform->messageBox.shown.clear();
        return shown;
    }
    // A gated Ping of loopback.
    static EntryBytes GatedPing() {
        EntryBytes e(kSourceNone, "", "127.0.0.1");
        e.Timeout("2").CheckInternet(1);
        return e;
    }
};

TEST_F(InternetGate, NoAddressesSkipsEveryGatedEntryUntouched) {
    Start({GatedPing(), EntryBytes(kSourceTcpPort, "1", "127.0.0.1").Timeout("2").CheckInternet(1),
           EntryBytes(kSourceProgram, Probe("local"), "local").CheckInternet(1),
           EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("2")});
    platform->manualClock.SetWall(1'400'000'000);
    Pass();
    ASSERT_EQ(engine->InternetState(), kStateAvailable);
    ASSERT_EQ(Status(0), "ok");
    ASSERT_EQ(Status(1), "unavailable");
    std::vector<ServiceItem> before;
    std::vector<RowView> rowsBefore = engine->Rows();
    for (int r = 0; r < 4; ++r) before.push_back(Record(r));
    TakeLog();

    SetReachable(false);
    platform->manualClock.SetWall(1'400'003'600);
    Pass();
    EXPECT_EQ(engine->InternetState(), kStateUnavailable);
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(Record(r).state, before[static_cast<std::size_t>(r)].state);
        EXPECT_EQ(Record(r).attempt, before[static_cast<std::size_t>(r)].attempt);
        EXPECT_EQ(Record(r).lastTestTime, before[static_cast<std::size_t>(r)].lastTestTime);
        EXPECT_EQ(Row(r).cells, rowsBefore[static_cast<std::size_t>(r)].cells);
        EXPECT_EQ(Row(r).image, rowsBefore[static_cast<std::size_t>(r)].image);
    }
    // Local entries are never gated, and an ungated Ping goes on while the
    // Internet is down.
    EXPECT_EQ(TakeLog(), Texts{"local"});
    EXPECT_GT(Record(2).lastTestTime, before[2].lastTestTime);
    EXPECT_EQ(Status(3), "ok");
    EXPECT_GT(Record(3).lastTestTime, before[3].lastTestTime);
    EXPECT_TRUE(TakeBoxes().empty()) << "no message box configured";
}

TEST_F(InternetGate, MessageBoxOnceOrForEveryGatedEntry) {
    Start({GatedPing(), GatedPing(), GatedPing()}, [](GlobalSettings& s) {
        s.internetAddressCount = 0;
        s.internetAlerts.messageBoxMode = 1;
    });
    // Once: on the change from untested, for the first gated entry only.
    Pass();
    EXPECT_EQ(TakeBoxes(), Texts{kDown});
    Pass();
    EXPECT_TRUE(TakeBoxes().empty()) << "the Internet was already down";

    engine->SettingsForTesting().internetAlerts.messageBoxMode = 2;
    platform->window.shows = 0;
    Pass();
    EXPECT_EQ(TakeBoxes(), (Texts{kDown, kDown, kDown}));
    EXPECT_EQ(platform->window.shows, 3);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Record(r).state, kStateUntested);
}

TEST_F(InternetGate, AlertsFireOnChangesAndNotOnTheFirstReachableCheck) {
    Start({GatedPing()}, [this](GlobalSettings& s) {
        InternetAlerts& n = s.internetAlerts;
        n.messageBoxMode = 1;
        n.messageBoxWhenAvailable = 1;
        n.sound.soundMode = 1;
        CopyText(n.sound.failedSound, "down.wav");
        CopyText(n.sound.okAgainSound, "up.wav");
        n.batch.batchMode = 1;
        CopyText(n.batch.failedCommand, Mark("down @A").c_str());
        CopyText(n.batch.okAgainCommand, Mark("up").c_str());
        n.batch.failedCommandWait = 1;
        n.batch.okAgainCommandWait = 1;
    });
    Pass();
    EXPECT_EQ(engine->InternetState(), kStateAvailable);
    EXPECT_EQ(Status(0), "ok");
    EXPECT_TRUE(TakeBoxes().empty()) << "nothing was down before";
    EXPECT_TRUE(TakeSounds().empty());
    EXPECT_TRUE(TakeMarks().empty());
    EXPECT_EQ(platform->window.shows, 0);

    SetReachable(false);
    Pass();
    EXPECT_EQ(TakeBoxes(), Texts{kDown});
    EXPECT_EQ(TakeSounds(), Texts{"once:down.wav"});
    EXPECT_EQ(TakeMarks(), Texts{"down 127.0.0.1"});
    EXPECT_EQ(platform->window.shows, 3);
    Pass();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_TRUE(TakeSounds().empty());
    EXPECT_TRUE(TakeMarks().empty());

    SetReachable(true);
    Pass();
    EXPECT_EQ(engine->InternetState(), kStateAvailable);
    EXPECT_EQ(TakeBoxes(), Texts{kRestored});
    EXPECT_EQ(TakeSounds(), Texts{"once:up.wav"});
    EXPECT_EQ(TakeMarks(), Texts{"up"});
    // The available-again command does not restore the window.
    EXPECT_EQ(platform->window.shows, 5);
    Pass();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_TRUE(TakeSounds().empty());
    EXPECT_TRUE(TakeMarks().empty());
}

TEST_F(InternetGate, ContinuousSoundIsStoppedByEveryReachableCheck) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(1).Sound(3, "fail.wav", ""),
           GatedPing()},
          [](GlobalSettings& s) {
              s.internetAlerts.sound.soundMode = 3;
              CopyText(s.internetAlerts.sound.failedSound, "down.wav");
              CopyText(s.internetAlerts.sound.okAgainSound, "up.wav");
          });
    Pass();
    EXPECT_EQ(TakeSounds(), (Texts{"loop:fail.wav", "purge"}));
    SetReachable(false);
    Pass();
    EXPECT_EQ(TakeSounds(), Texts{"loop:down.wav"});
    Pass();
    EXPECT_TRUE(TakeSounds().empty());
    SetReachable(true);
    Pass();
    EXPECT_EQ(TakeSounds(), (Texts{"purge", "loop:up.wav"}));
}

}  // namespace
}  // namespace tarnwatch::cycle

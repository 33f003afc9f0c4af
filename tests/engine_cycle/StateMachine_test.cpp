// The test pass and the per-entry state machine over sequences of real
// results: attempts and their cells, failure classes, "alerted", pass
// filters, disabled entries, the overall level and the tool tip.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "CycleFixture.h"

extern char** environ;
#include "engine_client/LoopbackAgent.h"

namespace tarnwatch::cycle {
namespace {

using testing::LoopbackAgent;
using testing::MessageBytes;

// An agent that acknowledges HELLO and answers VORLAN with `figure`, or not
// at all when `figure` is empty; it stays until the client says BYE.
LoopbackAgent::Handler Agent(std::string figure) {
    return [figure](int fd, LoopbackAgent& agent) {
        CMsgClient m;
        while (agent.ReadMessage(fd, m)) {
            if (m.text == "HELLO") LoopbackAgent::Send(fd, MessageBytes(0, "", {"CONNECTED"}));
            if (m.text == "VORLAN" && !figure.empty())
                LoopbackAgent::Send(fd, MessageBytes(0, "", {figure}));
            if (m.closeFlag) break;
        }
        agent.ReadToEnd(fd);
    };
}

class StateMachine : public CycleTest {};

TEST_F(StateMachine, AgentTimingOutRetriesTwiceThenAlertsOnTheThirdAndRecovers) {
    Start({EntryBytes(kSourceTcpPort, "0", "127.0.0.1")
               .ServiceTest(kServiceTestVorlan)
               .Verify(1)
               .Timeout("1")
               .Attempts(3)
               .Sound(1, "fail.wav", "back.wav")
               .Batch(1, Mark("failed @S"), "")},
          nullptr, /*realClock=*/true);
    auto passWith = [&](const std::string& figure) {
        LoopbackAgent agent(Agent(figure));
        CopyText(Record(0).source, std::to_string(agent.port()).c_str());
        Pass();
        agent.Join();
        EXPECT_TRUE(agent.accepted());
    };

    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        passWith("");
        EXPECT_EQ(Status(0), "timed out");
        EXPECT_EQ(Row(0).image, kImageWarning);
        EXPECT_EQ(Row(0).cells[kColAttempt],
                  AttemptCell(std::to_string(k) + "/3", Record(0).lastTestTime));
        EXPECT_NE(Record(0).lastTestTime, 0);
        EXPECT_EQ(Record(0).state, kStateRetrying);
        EXPECT_TRUE(TakeSounds().empty());
        EXPECT_TRUE(TakeMarks().empty());
    }
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Warning");

    passWith("");
    EXPECT_EQ(Row(0).cells[kColAttempt], AttemptCell("3/3", Record(0).lastTestTime));
    EXPECT_EQ(TakeSounds(), std::vector<std::string>{"once:fail.wav"});
    // The command saw the failure text in the Status cell, then the entry
    // became "alerted".
    EXPECT_EQ(TakeMarks(), std::vector<std::string>{"failed timed out"});
    EXPECT_EQ(Status(0), "alerted");
    EXPECT_EQ(Row(0).image, kImageWarning);
    EXPECT_EQ(Record(0).state, kStateTimedOut | kStateAlerted);
    EXPECT_EQ(engine->OverallLevel(), kLevelWarning);

    passWith("12:34");
    EXPECT_EQ(Status(0), "12:34");
    EXPECT_EQ(Row(0).image, kImageNetwork);
    EXPECT_EQ(TakeSounds(), std::vector<std::string>{"once:back.wav"});
    EXPECT_EQ(Record(0).state, kStateAvailable | kStateAlerted);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Ok");
}

TEST_F(StateMachine, FirstFailureOfAFreshEntryWithOneAttemptFiresTheActions) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "Local Machine")
               .Attempts(1)
               .Sound(1, "fail.wav", "")
               .Batch(1, Mark("failed"), "")});
    ASSERT_EQ(Record(0).state, kStateUntested);
    Pass();
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"a"});
    EXPECT_EQ(TakeSounds(), std::vector<std::string>{"once:fail.wav"});
    EXPECT_EQ(TakeMarks(), std::vector<std::string>{"failed"});
    EXPECT_EQ(Record(0).state, kStateUnavailable | kStateAlerted);
    EXPECT_EQ(Status(0), "alerted");
    EXPECT_EQ(Row(0).image, kImageError);
    EXPECT_EQ(engine->OverallLevel(), kLevelError);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Error");
}

TEST_F(StateMachine, AttemptCellStopsAtAttemptsAndRestartsAfterASuccess) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "Local Machine").Attempts(3)});
    const std::vector<std::string> shown = {"1/3", "2/3", "3/3", "3/3", "3/3"};
    for (std::size_t k = 0; k < shown.size(); ++k) {
        SCOPED_TRACE(k + 1);
        const std::int64_t now = 1'200'000'000 + 3600 * static_cast<std::int64_t>(k);
        platform->manualClock.SetWall(now);
        Pass();
        EXPECT_GE(Record(0).lastTestTime, now);
        EXPECT_LE(Record(0).lastTestTime, now + 1);
        EXPECT_EQ(Row(0).cells[kColAttempt], AttemptCell(shown[k], Record(0).lastTestTime));
        EXPECT_EQ(Status(0), "failed");
    }
    EXPECT_EQ(Record(0).attempt, 5);
    EXPECT_EQ(Row(0).image, kImageError);

    // The success itself still counts on; the next test starts again at 1.
    SetCode("a", "0");
    Pass();
    EXPECT_EQ(Status(0), "succeeded");
    EXPECT_EQ(Row(0).image, kImageLocal);
    EXPECT_EQ(Row(0).cells[kColAttempt].substr(0, 3), "3/3");
    SetCode("a", "3");
    Pass();
    EXPECT_EQ(Row(0).cells[kColAttempt].substr(0, 5), "1/3  ");
    EXPECT_EQ(Record(0).state, kStateRetrying);
}

TEST_F(StateMachine, AlertedOutlivesASuccessAndShowsWhileRetrying) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "Local Machine")
               .Attempts(2)
               .Batch(1, Mark("failed"), "")});
    Pass();
    EXPECT_EQ(Status(0), "failed");
    Pass();
    EXPECT_EQ(Status(0), "alerted");
    EXPECT_EQ(TakeMarks().size(), 1u);

    SetCode("a", "0");
    Pass();
    EXPECT_EQ(Status(0), "succeeded");
    EXPECT_EQ(Record(0).state, kStateAvailable | kStateAlerted);

    SetCode("a", "3");
    Pass();
    EXPECT_EQ(Record(0).state, kStateRetrying | kStateAlerted);
    EXPECT_EQ(Status(0), "alerted");
    EXPECT_EQ(Row(0).image, kImageWarning);
    EXPECT_TRUE(TakeMarks().empty()) << "no command while retrying";
}

TEST_F(StateMachine, OkAgainCommandClearsAlerted) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "Local Machine")
               .Attempts(2)
               .Batch(1, Mark("failed"), Mark("back"))});
    Pass();
    Pass();
    EXPECT_EQ(TakeMarks(), std::vector<std::string>{"failed"});
    EXPECT_EQ(platform->window.shows, 1);
    SetCode("a", "0");
    Pass();
    EXPECT_EQ(TakeMarks(), std::vector<std::string>{"back"});
    EXPECT_EQ(platform->window.shows, 1) << "the ok-again command does not restore the window";
    EXPECT_EQ(Record(0).state, kStateAvailable);
    SetCode("a", "3");
    Pass();
    EXPECT_EQ(Status(0), "failed");
    EXPECT_EQ(Record(0).state, kStateRetrying);
}

TEST_F(StateMachine, UnclassedErrorLeavesTheStateAsItWas) {
    SetCode("a", "3");
    SetCode("b", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "retrying").Attempts(3),
           EntryBytes(kSourceProgram, Probe("b"), "exhausted")
               .Attempts(1)
               .Sound(2, "fail.wav", "")
               .Batch(2, Mark("failed"), ""),
           EntryBytes(7, "", "fresh")});
    Pass();
    ASSERT_EQ(Record(0).state, kStateRetrying);
    ASSERT_EQ(Record(1).state, kStateUnavailable | kStateAlerted);
    EXPECT_EQ(Status(2), "error");
    // A first test counts as a change from available, even without a class.
    EXPECT_EQ(Record(2).state, kStateAvailable);
    TakeSounds();
    TakeMarks();

    // The same entries, edited to a kind this program does not know.
    Record(0).sourceKind = 7;
    Record(1).sourceKind = 7;
    Pass();
    EXPECT_TRUE(TakeLog().size() == 2u) << "only the first pass ran the scripts";
    EXPECT_EQ(Status(0), "error");
    EXPECT_EQ(Record(0).state, kStateRetrying);
    EXPECT_EQ(Record(0).attempt, 2);
    EXPECT_EQ(Row(0).image, kImageLocal);
    EXPECT_EQ(Record(1).state, kStateUnavailable | kStateAlerted);
    EXPECT_EQ(Status(1), "alerted");
    EXPECT_TRUE(TakeSounds().empty()) << "no alert for an unclassed failure";
    EXPECT_TRUE(TakeMarks().empty());
    EXPECT_EQ(engine->OverallLevel(), kLevelError);
}

TEST_F(StateMachine, IsRunningRestartsAtAttemptOneOnEveryTest) {
    // A program of a name no other process has, started by the test.
    const std::string name = "twcyc" + std::to_string(getpid() % 1000000);
    std::filesystem::copy_file("/bin/sleep", dir / name);
    Start({EntryBytes(kSourceProcessName, name, "Local Machine")
               .Attempts(3)
               .Sound(2, "three.wav", "back.wav"),
           EntryBytes(kSourceProcessName, name, "Local Machine")
               .Attempts(1)
               .Sound(2, "one.wav", "back.wav")});
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        Pass();
        EXPECT_EQ(Status(0), "not running");
        EXPECT_EQ(Row(0).cells[kColAttempt].substr(0, 5), "1/3  ");
        EXPECT_EQ(Record(0).state, kStateRetrying);
        EXPECT_EQ(Row(0).image, kImageWarning);
        EXPECT_EQ(Status(1), "not running");
        EXPECT_EQ(Row(1).image, kImageError);
        EXPECT_EQ(TakeSounds(), std::vector<std::string>{"once:one.wav"});
    }

    const std::string path = dir / name;
    char* argv[] = {const_cast<char*>(name.c_str()), const_cast<char*>("30"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ), 0);
    Pass();
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(Status(0), "running");
    EXPECT_EQ(Row(0).image, kImageLocal);
    EXPECT_EQ(Status(1), "running");
    // Only the entry that had used all its attempts comes back.
    EXPECT_EQ(TakeSounds(), std::vector<std::string>{"once:back.wav"});
}

TEST_F(StateMachine, ScheduledPassTestsOnlyItsClassButVisitsEveryRow) {
    Start({EntryBytes(kSourceProgram, Probe("high"), "high").Frequency(kFrequencyHigh),
           EntryBytes(kSourceProgram, Probe("medium"), "medium").Frequency(kFrequencyMedium),
           EntryBytes(kSourceProgram, Probe("low"), "low").Frequency(kFrequencyLow),
           EntryBytes(kSourceProgram, Probe("demand"), "demand").Frequency(kFrequencyOnDemand)},
          [](GlobalSettings& s) {
              s.highInterval = 1;
              s.mediumInterval = 1;
              s.lowInterval = 1;
          });
    // Up to two minutes of ticks: the high class falls due; the others do not.
    std::vector<std::string> log;
    for (int i = 0; i < 60 && log.empty(); ++i) {
        platform->manualClock.AdvanceMs(2000);
        platform->timers.FireDue();
        log = TakeLog();
    }
    EXPECT_EQ(log, std::vector<std::string>{"high"});
    EXPECT_EQ(Record(0).attempt, 1);
    EXPECT_EQ(Status(0), "succeeded");
    EXPECT_EQ(observer.visited, (std::vector<int>{0, 1, 2, 3}));
    for (int r = 1; r < 4; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(Status(r), "unknown");
        EXPECT_EQ(Record(r).attempt, 0);
        EXPECT_EQ(Record(r).lastTestTime, 0);
        EXPECT_EQ(Record(r).state, kStateUntested);
    }
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Warning");

    // The user's "Update Al&l" tests every class, on demand included.
    Pass();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"high", "medium", "low", "demand"}));
    EXPECT_EQ(engine->passClass(), kPassAll);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Ok");
}

TEST_F(StateMachine, DisabledEntryOnlyShowsDisabled) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "local"),
           EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("2")});
    platform->manualClock.SetWall(1'300'000'000);
    Pass();
    ASSERT_EQ(Status(0), "succeeded");
    ASSERT_EQ(Status(1), "ok");
    ASSERT_EQ(Row(1).image, kImageNetwork);
    TakeLog();
    const ServiceItem before0 = Record(0);
    const ServiceItem before1 = Record(1);
    const RowView rowBefore0 = Row(0);

    Record(0).enabled = 0;
    Record(1).enabled = 0;
    SetCode("a", "3");
    platform->manualClock.SetWall(1'300'003'600);
    Pass();
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(Status(0), "disabled");
    EXPECT_EQ(Row(0).image, kImageLocalDisabled);
    EXPECT_FALSE(Row(0).checked);
    EXPECT_EQ(Row(0).cells[kColAttempt], rowBefore0.cells[kColAttempt]);
    EXPECT_EQ(Status(1), "disabled");
    EXPECT_EQ(Row(1).image, kImageNetworkDisabled);
    EXPECT_EQ(Record(0).attempt, before0.attempt);
    EXPECT_EQ(Record(0).lastTestTime, before0.lastTestTime);
    EXPECT_EQ(Record(0).state, before0.state);
    EXPECT_EQ(Record(1).attempt, before1.attempt);
    EXPECT_EQ(Record(1).lastTestTime, before1.lastTestTime);
}

TEST_F(StateMachine, OverallLevelFollowsTheWorstEnabledEntry) {
    SetCode("b", "127");
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Frequency(kFrequencyHigh),
           EntryBytes(kSourceProgram, Probe("b"), "b").Frequency(kFrequencyLow).Attempts(1)});
    engine->SetPassClass(kFrequencyHigh);
    engine->RunTestPass(-1);
    EXPECT_EQ(engine->OverallLevel(), kLevelWarning) << "b is still untested";
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Warning");

    Pass();
    EXPECT_EQ(Status(1), "unresolved");
    EXPECT_EQ(Row(1).image, kImageInformation);
    EXPECT_EQ(engine->OverallLevel(), kLevelInformation);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Information");

    SetCode("a", "3");
    Record(0).attempts = 1;
    Pass();
    EXPECT_EQ(engine->OverallLevel(), kLevelError);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Error");

    // A disabled entry no longer counts.
    Record(0).enabled = 0;
    Pass();
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Information");
    SetCode("b", "0");
    Pass();
    EXPECT_EQ(engine->OverallLevel(), kLevelOk);
    EXPECT_EQ(engine->ToolTip(), "Tarnwatch - Status : Ok");
}

TEST_F(StateMachine, UpdateWithoutSelectionTestsEveryRowWhateverTheClass) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Frequency(kFrequencyOnDemand),
           EntryBytes(kSourceProgram, Probe("b"), "b").Frequency(kFrequencyLow),
           EntryBytes(kSourceProgram, Probe("c"), "c").Frequency(kFrequencyHigh)});
    engine->SetPassClass(kFrequencyHigh);  // left over from a scheduled pass
    engine->EntriesForTesting().selectedRow = -1;
    engine->OnUpdate();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(platform->waitCursor.begins, 1);
    EXPECT_EQ(platform->waitCursor.depth, 0);
    EXPECT_TRUE(platform->timers.IsArmed(kTimerUpdateTick)) << "the schedule runs again";

    engine->EntriesForTesting().selectedRow = 1;
    engine->OnUpdate();
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"b"});
    EXPECT_EQ(observer.visited.back(), 1);
}

}  // namespace
}  // namespace tarnwatch::cycle

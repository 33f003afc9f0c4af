// Which alert action fires when, driven through real passes: sounds by
// mode, failure and ok-again commands by mode and enable, restoring the
// window, and moving or disabling failed entries.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "CycleFixture.h"

namespace tarnwatch::cycle {
namespace {

using Texts = std::vector<std::string>;

class AlertActions : public CycleTest {
protected:
    // One pass of the single entry "a" with the given script result.
    Texts PassWith(const std::string& code) {
        SetCode("a", code);
        Pass();
        return TakeSounds();
    }
};

TEST_F(AlertActions, SoundOnceSoundsOncePerClassAndAgainAfterRecovery) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(1).Sound(1, "fail.wav", "ok.wav")});
    EXPECT_EQ(PassWith("3"), Texts{"once:fail.wav"});
    EXPECT_EQ(platform->window.shows, 1);
    EXPECT_EQ(PassWith("3"), Texts{}) << "same class again";
    EXPECT_EQ(PassWith("127"), Texts{"once:fail.wav"}) << "another class";
    EXPECT_EQ(PassWith("127"), Texts{});
    EXPECT_EQ(PassWith("0"), Texts{"once:ok.wav"});
    EXPECT_EQ(PassWith("0"), Texts{}) << "ok-again only after an exhausted failure";
    EXPECT_EQ(PassWith("3"), Texts{"once:fail.wav"});
    EXPECT_EQ(platform->window.shows, 4);
}

TEST_F(AlertActions, SoundEveryFailurePlaysOnEachExhaustedFailureOnly) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(2).Sound(2, "fail.wav", "ok.wav")});
    EXPECT_EQ(PassWith("3"), Texts{}) << "attempt 1 of 2";
    EXPECT_EQ(PassWith("3"), Texts{"once:fail.wav"});
    EXPECT_EQ(PassWith("3"), Texts{"once:fail.wav"});
    EXPECT_EQ(PassWith("0"), Texts{"once:ok.wav"});
    EXPECT_EQ(PassWith("3"), Texts{});
}

TEST_F(AlertActions, ContinuousSoundLoopsUntilRecoveryThenLoopsTheOkAgainSound) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(1).Sound(3, "fail.wav", "ok.wav")});
    EXPECT_EQ(PassWith("3"), Texts{"loop:fail.wav"});
    EXPECT_EQ(PassWith("3"), Texts{}) << "the loop goes on by itself";
    EXPECT_EQ(PassWith("0"), (Texts{"purge", "loop:ok.wav"}));
    EXPECT_EQ(PassWith("0"), Texts{});
    EXPECT_EQ(PassWith("3"), Texts{"loop:fail.wav"});
}

TEST_F(AlertActions, NoSoundModeIsSilentAlsoWhenTheEntryComesBack) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(1).Sound(0, "fail.wav", "ok.wav")});
    EXPECT_EQ(PassWith("3"), Texts{});
    EXPECT_EQ(PassWith("0"), Texts{});
    EXPECT_EQ(platform->window.shows, 0);
}

TEST_F(AlertActions, ClassEnablesGateTheFailureSoundButNotTheOkAgainSound) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a")
               .Attempts(1)
               .Sound(1, "fail.wav", "ok.wav", /*onUnavailable=*/0, 1, 1)});
    EXPECT_EQ(PassWith("3"), Texts{});
    EXPECT_EQ(PassWith("0"), Texts{"once:ok.wav"});
}

TEST_F(AlertActions, GlobalAlertSettingsStandInWhenAsked) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a")
               .Attempts(1)
               .Sound(1, "own.wav", "")
               .Batch(1, Mark("own"), "")
               .UseGlobal(1, 1)},
          [this](GlobalSettings& s) {
              s.alerts.sound.soundOnUnavailable = 1;
              s.alerts.sound.soundMode = 2;
              CopyText(s.alerts.sound.failedSound, "global.wav");
              s.alerts.batch.batchOnUnavailable = 1;
              s.alerts.batch.batchMode = 2;
              CopyText(s.alerts.batch.failedCommand, Mark("global").c_str());
              s.alerts.batch.failedCommandWait = 1;
          });
    EXPECT_EQ(PassWith("3"), Texts{"once:global.wav"});
    EXPECT_EQ(PassWith("3"), Texts{"once:global.wav"});
    EXPECT_EQ(TakeMarks(), (Texts{"global", "global"}));
}

TEST_F(AlertActions, FailureCommandFollowsTheUnavailableEnableForEveryClass) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a")
               .Timeout("1")
               .Attempts(1)
               .Batch(1, Mark("failed @S"), "", /*onUnavailable=*/0, /*onTimedOut=*/1,
                      /*onUnresolved=*/1)});
    PassWith("sleep");
    EXPECT_EQ(Status(0), "timed out");
    PassWith("127");
    EXPECT_EQ(Status(0), "unresolved");
    PassWith("3");
    EXPECT_EQ(Status(0), "failed");
    EXPECT_TRUE(TakeMarks().empty());

    Record(0).alerts.batch.batchOnUnavailable = 1;
    PassWith("sleep");
    EXPECT_EQ(TakeMarks(), Texts{"failed timed out"});
    EXPECT_EQ(Status(0), "alerted");
    EXPECT_EQ(Record(0).state, kStateTimedOut | kStateAlerted);
}

TEST_F(AlertActions, CommandOnceRunsOncePerClassAndEveryFailureOnEach) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "once").Attempts(1).Batch(1, Mark("@A"), ""),
           EntryBytes(kSourceProgram, Probe("a"), "each").Attempts(1).Batch(2, Mark("@A"), "")});
    PassWith("3");
    PassWith("3");
    PassWith("127");
    EXPECT_EQ(TakeMarks(), (Texts{"once", "each", "each", "once", "each"}));
}

TEST_F(AlertActions, AutoMoveMovesARetryingEntryAndTestsTheNextRowNext) {
    SetCode("a", "3");
    Start(
        {EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(3),
         EntryBytes(kSourceProgram, Probe("b"), "b"), EntryBytes(kSourceProgram, Probe("c"), "c")},
        [](GlobalSettings& s) { s.autoMove = 1; });
    Pass();
    EXPECT_EQ(TakeLog(), (Texts{"a", "b", "c"})) << "each entry tested once";
    EXPECT_EQ(Addresses(), (Texts{"b", "c", "a"}));
    EXPECT_EQ(Status(2), "failed");
    EXPECT_EQ(Row(2).image, kImageWarning);
    EXPECT_EQ(Row(2).cells[kColAttempt].substr(0, 3), "1/3");
    EXPECT_EQ(Status(0), "succeeded");
    EXPECT_EQ(Status(1), "succeeded");
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Record(r).row, r);

    // Two failures in a row: each one moves, the pass still ends after
    // every entry was tested once.
    SetCode("a", "0");
    SetCode("b", "3");
    SetCode("c", "3");
    Pass();
    EXPECT_EQ(TakeLog(), (Texts{"b", "c", "a"}));
    EXPECT_EQ(Addresses(), (Texts{"a", "b", "c"}));
    EXPECT_EQ(Status(0), "succeeded");
    EXPECT_EQ(Status(1), "failed");
    EXPECT_EQ(Status(2), "failed");
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Record(r).row, r);

    // "&Update" of one failing row moves it and tests nothing else.
    engine->EntriesForTesting().selectedRow = 1;
    engine->OnUpdate();
    EXPECT_EQ(TakeLog(), Texts{"b"});
    EXPECT_EQ(Addresses(), (Texts{"a", "c", "b"}));
}

TEST_F(AlertActions, AutoMoveWithAutoDisableShowsTheMovedEntryDisabled) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(3),
           EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("2")},
          [](GlobalSettings& s) { s.autoMove = 1, s.autoDisable = 1; });
    Pass();
    EXPECT_EQ(Addresses(), (Texts{"127.0.0.1", "a"}));
    EXPECT_EQ(Status(0), "ok");
    EXPECT_EQ(Status(1), "disabled");
    EXPECT_EQ(Row(1).image, kImageLocalDisabled);
    EXPECT_FALSE(Row(1).checked);
    EXPECT_EQ(Named("a").enabled, 0);
    EXPECT_EQ(TakeLog(), Texts{"a"});

    Pass();
    EXPECT_TRUE(TakeLog().empty()) << "a disabled entry is not tested";
    Named("a").enabled = 1;
    SetCode("a", "0");
    Pass();
    EXPECT_EQ(TakeLog(), Texts{"a"});
    EXPECT_EQ(Status(1), "succeeded");
}

TEST_F(AlertActions, AutoDisableAloneDisablesInPlace) {
    SetCode("a", "3");
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(3),
           EntryBytes(kSourceProgram, Probe("b"), "b")},
          [](GlobalSettings& s) { s.autoMove = 0, s.autoDisable = 1; });
    Pass();
    EXPECT_EQ(Addresses(), (Texts{"a", "b"}));
    EXPECT_EQ(Status(0), "disabled");
    EXPECT_EQ(Row(0).image, kImageLocalDisabled);
    EXPECT_FALSE(Row(0).checked);
    EXPECT_EQ(Record(0).enabled, 0);
    EXPECT_EQ(Record(0).state, kStateRetrying);
    EXPECT_EQ(TakeLog(), (Texts{"a", "b"}));
    Pass();
    EXPECT_EQ(TakeLog(), Texts{"b"});
}

TEST_F(AlertActions, RestoreOptionOffLeavesTheWindowAlone) {
    Start({EntryBytes(kSourceProgram, Probe("a"), "a")
               .Attempts(1)
               .Sound(2, "fail.wav", "")
               .Batch(2, Mark("failed"), "")},
          [](GlobalSettings& s) { s.restore = 0; });
    EXPECT_EQ(PassWith("3"), Texts{"once:fail.wav"});
    EXPECT_EQ(TakeMarks(), Texts{"failed"});
    EXPECT_EQ(platform->window.shows, 0);
}

TEST_F(AlertActions, CommandsWithAMacroInDoubtRunNothingAndNameTheEntry) {
    // After a backslash the value's opening quote would be taken literally.
    const std::string test = "echo \\@W; touch " + dir / "ran";
    Start({EntryBytes(kSourceProgram, test, "Local Machine").Batch(1, Mark("\\@W"), "")});
    ::testing::internal::CaptureStderr();
    Pass();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Status(0), "unresolved") << "a command that was not run, and no alert ran";
    EXPECT_FALSE(std::filesystem::exists(dir / "ran"));
    EXPECT_TRUE(TakeMarks().empty());
    // Both the test's command and the failure command are reported.
    EXPECT_NE(err.find("\"Local Machine\" (Local Machine)"), std::string::npos) << err;
    EXPECT_NE(err.find("mark.sh \\@W"), std::string::npos) << err;
}

TEST_F(AlertActions, AWaitedCommandIsEndedAtTheTimeLimitAndThePassGoesOn) {
    WriteScript("hang.sh", "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/hung\"\nexec sleep 60\n");
    WriteScript("slow.sh", "#!/bin/sh\nsleep 2\necho slow >> \"$(dirname \"$0\")/marks\"\n");
    Start({EntryBytes(kSourceProgram, Probe("a"), "a").Attempts(1).Batch(2, dir / "hang.sh", ""),
           EntryBytes(kSourceProgram, Probe("a"), "b").Attempts(1).Batch(2, Mark("@A"), "")},
          [](GlobalSettings& s) { s.commandTimeLimit = 1; });
    ::testing::internal::CaptureStderr();
    PassWith("3");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(TakeMarks(), Texts{"b"}) << "the next entry was tested and alerted";
    const Texts hung = Take("hung");
    ASSERT_EQ(hung.size(), 1u);
    EXPECT_EQ(kill(std::stoi(hung[0]), 0), -1) << "the command is gone";
    EXPECT_NE(err.find("hang.sh\" of the entry \"a\" (a) was ended after 1 seconds"),
              std::string::npos)
        << err;

    // 0 is no limit: a command that takes longer than the old limit ends by
    // itself and is not reported.
    engine->SettingsForTesting().commandTimeLimit = 0;
    Record(0).alerts.batch.batchMode = 0;
    CopyText(Record(1).alerts.batch.failedCommand, (dir / "slow.sh").c_str());
    ::testing::internal::CaptureStderr();
    PassWith("3");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(TakeMarks(), Texts{"slow"});
}

}  // namespace
}  // namespace tarnwatch::cycle

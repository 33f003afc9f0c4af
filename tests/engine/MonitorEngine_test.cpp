// Start-up and shutdown of the monitor's controller against real list files
// and fake platform ports.
#include "engine/MonitorEngine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/FakePorts.h"
#include "fakes/ListFileBytes.h"
#include "fakes/SilentListener.h"
#include "fakes/TempDir.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

using fakes::RawRecord;

class RecordingObserver final : public EngineObserver {
public:
    void RowsReset() override { ++resets; }
    void RowChanged(int) override {}
    void StateChanged() override {}
    void TrayIconChanged(bool shown) override { tray = shown, ++trayChanges; }
    void CloseRequested() override { ++closeRequests; }
    int resets = 0;
    bool tray = false;
    int trayChanges = 0;
    int closeRequests = 0;
};

class CountingStore final : public SettingsStore {
public:
    void ReadSettings(GlobalSettings& s) override { ++reads, s.minimize = minimize; }
    void WriteListAndAlertSettings(const GlobalSettings& s) override { ++writes, written = s; }
    void WriteRunOptions(const GlobalSettings&, int) override {}
    int minimize = 1;
    int reads = 0;
    int writes = 0;
    GlobalSettings written;
};

RawRecord Entry(std::int32_t kind, const std::string& address, std::int32_t enabled) {
    RawRecord r(1912);
    r.Int(0, kind).Text(4, kind == 0 ? "80" : "proc").Text(260, "10").Text(280, address);
    r.Int(536, enabled).Int(796, kind == 0 ? 7 : 14).Int(1880, 2).Int(1904, 3);
    r.Int(1888, 1).Int(1892, 0).Text(1356, "own command");
    return r;
}

class MonitorEngineTest : public ::testing::Test {
protected:
    void WriteList(const std::vector<RawRecord>& records) {
        fakes::WriteBytes(dir / "Tarnwatch.ini",
                          fakes::ListFileImage(-2.2f, static_cast<int>(records.size()), records));
    }
    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    fakes::ScopedEnv tz{"TZ", "UTC"};
    fakes::FakePlatform platform;
    CountingStore store;
    RecordingObserver observer;
};

TEST_F(MonitorEngineTest, StartUpShowsLoadedRowsAsUnknownAndEnablesRowButtons) {
    WriteList(
        {Entry(0, "web.example", 1), Entry(1, "Local Machine", 0), Entry(0, "off.example", 0)});
    MonitorEngine engine(platform.ports, &store);
    engine.SetObserver(&observer);
    EXPECT_FALSE(engine.Buttons().update);
    engine.Initialise();
    EXPECT_EQ(store.reads, 1);
    ASSERT_EQ(engine.Rows().size(), 3u);
    const RowView& web = engine.Rows()[0];
    EXPECT_EQ(web.image, kImageWarning);
    EXPECT_EQ(web.cells[kColStatus], "unknown");
    EXPECT_EQ(web.cells[kColSource], "port 80");
    EXPECT_EQ(web.cells[kColServiceTest], "Http");
    EXPECT_EQ(web.cells[kColAttempt], "0/2");
    EXPECT_EQ(web.cells[kColFreq], "high");
    EXPECT_EQ(engine.Rows()[1].image, kImageLocalDisabled);
    EXPECT_EQ(engine.Rows()[1].cells[kColStatus], "disabled");
    EXPECT_EQ(engine.Rows()[1].cells[kColTimeout], " ");
    EXPECT_EQ(engine.Rows()[2].image, kImageNetworkDisabled);
    EXPECT_TRUE(engine.Buttons().add);
    EXPECT_TRUE(engine.Buttons().update);
    EXPECT_TRUE(engine.Buttons().moveDown);
    EXPECT_EQ(engine.Entries().selectedRow, 2);
    EXPECT_EQ(engine.OverallLevel(), kLevelWarning);
    EXPECT_TRUE(observer.tray);
    EXPECT_EQ(platform.timers.Period(kTimerHideWindow), 1000);
}

TEST_F(MonitorEngineTest, EmptyStartKeepsRowButtonsOffAndHideTimerFollowsMinimize) {
    store.minimize = 0;
    MonitorEngine engine(platform.ports, &store);
    engine.Initialise();
    EXPECT_TRUE(engine.Rows().empty());
    EXPECT_FALSE(engine.Buttons().remove);
    EXPECT_FALSE(engine.Buttons().edit);
    EXPECT_FALSE(platform.timers.IsArmed(kTimerHideWindow));
    EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(MonitorEngineTest, HideTimerHidesTheWindowOnce) {
    MonitorEngine engine(platform.ports, &store);
    engine.Initialise();
    platform.manualClock.AdvanceMs(999);
    platform.timers.FireDue();
    EXPECT_FALSE(platform.window.hidden);
    platform.manualClock.AdvanceMs(1);
    platform.timers.FireDue();
    EXPECT_TRUE(platform.window.hidden);
    EXPECT_FALSE(platform.timers.IsArmed(kTimerHideWindow));
}

TEST_F(MonitorEngineTest, OutOfMemoryAtLoadClosesWithoutTouchingTheFile) {
    WriteList({Entry(0, "a", 1), Entry(0, "b", 1)});
    const auto before = fakes::ReadBytes(dir / "Tarnwatch.ini");
    EntryCollection::SetAllocationCapForTesting(1);
    MonitorEngine engine(platform.ports, &store);
    engine.SetObserver(&observer);
    engine.Initialise();
    EntryCollection::SetAllocationCapForTesting(0);
    ASSERT_EQ(platform.messageBox.shown.size(), 1u);
    EXPECT_EQ(platform.messageBox.shown[0], "Out of memory - program terminating");
    EXPECT_FALSE(observer.tray) << "no notification icon after the failure";
    EXPECT_FALSE(platform.timers.IsArmed(kTimerHideWindow));
    platform.manualClock.AdvanceMs(1000);
    platform.timers.FireDue();
    EXPECT_EQ(observer.closeRequests, 1);
    engine.Shutdown(store.written.columnPosition, store.written.columnWidth);
    EXPECT_EQ(fakes::ReadBytes(dir / "Tarnwatch.ini"), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "Tarnwatch.bak"));
}

TEST_F(MonitorEngineTest, CancelStopsSoundAndEndsOnlyAfterShutdown) {
    WriteList({Entry(0, "a", 1)});
    MonitorEngine engine(platform.ports, &store);
    engine.SetObserver(&observer);
    engine.Initialise();
    EXPECT_FALSE(engine.OnCancel());
    EXPECT_EQ(platform.sound.played, std::vector<std::string>{"purge"});
    std::array<std::int32_t, kColumnCount> positions{4, 1, 2, 3, 0, 5, 6, 7};
    std::array<std::int32_t, kColumnCount> widths{10, 20, 30, 40, 50, 60, 70, 80};
    platform.timers.SetTimer(kTimerNetworkTimeout, 5000);
    engine.Shutdown(positions, widths);
    EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(store.written.columnPosition, positions);
    EXPECT_EQ(store.written.columnWidth, widths);
    EXPECT_FALSE(observer.tray);
    EXPECT_TRUE(engine.Rows().empty());
    EXPECT_TRUE(engine.OnCancel());
    // The list was written back.
    EntryCollection again;
    ASSERT_TRUE(LoadListFile(again, ListFileLocation()).opened);
    EXPECT_EQ(again.rowCount, 1);
    engine.Shutdown(positions, widths);  // a second close does nothing more
    EXPECT_EQ(store.writes, 1);
}

TEST_F(MonitorEngineTest, WorkingEntryTakesGlobalHalvesOnlyWhereAsked) {
    WriteList({Entry(0, "a", 1)});  // own batch half, global sound half
    MonitorEngine engine(platform.ports, &store);
    engine.Initialise();
    CopyText(engine.SettingsForTesting().alerts.sound.failedSound, "global.wav");
    CopyText(engine.SettingsForTesting().alerts.batch.failedCommand, "global command");
    engine.LoadWorkingEntry(0, false);
    EXPECT_STREQ(engine.WorkingEntry().alerts.sound.failedSound, "global.wav");
    EXPECT_STREQ(engine.WorkingEntry().alerts.batch.failedCommand, "own command");
    engine.LoadWorkingEntry(0, true);
    EXPECT_STREQ(engine.WorkingEntry().alerts.sound.failedSound, "");
}

TEST(RowDisplay, CellsFollowKindAndRange) {
    ServiceItem e = NewEntryTemplate();
    e.sourceKind = kSourceNone;
    e.serviceTest = 99;
    e.frequency = 9;
    e.attempt = 5;
    e.attempts = 3;
    e.lastTestTime = 944489133;  // 1999-12-06 14:05:33 UTC
    setenv("TZ", "UTC", 1);
    tzset();
    RowView row = MakeRowView(e, kImageError, "disabled");
    EXPECT_EQ(row.cells[kColSource], "n/a");
    EXPECT_EQ(row.cells[kColServiceTest], "");
    EXPECT_EQ(row.cells[kColFreq], "");
    EXPECT_EQ(row.cells[kColAttempt], "3/3  14:05:33 06/12/99");
    EXPECT_EQ(row.cells[kColStatus], " ");
    EXPECT_EQ(row.image, kImageError);
    e.sourceKind = 7;  // out of range: shown as its source text, no crash
    EXPECT_EQ(MakeRowView(e, kImageWarning, "x").cells[kColSource], "700");
}

TEST(Settings, ColumnOrderFallsBackWhenNotAPermutation) {
    EXPECT_EQ(ColumnOrder({4, 0, 1, 2, 3, 5, 6, 7}), (std::array<int, 8>{1, 2, 3, 4, 0, 5, 6, 7}));
    EXPECT_EQ(ColumnOrder({0, 0, 1, 2, 3, 5, 6, 7}), (std::array<int, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ColumnOrder({-1, 99, 1, 2, 3, 5, 6, 7}),
              (std::array<int, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_STREQ(DefaultSettings().internetAddresses[0], kDefaultInternetAddress);
    EXPECT_STREQ(DefaultSettings().alerts.sound.failedSound, "Failure.wav");
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

TEST(MonitorEngineClose, CloseDuringAPassWaitsForThePassToUnwind) {
    fakes::TempDir dir;
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
    fakes::SilentListener silent;
    auto agentEntry = [&](const std::string& address) {
        RawRecord r(1912);
        r.Text(4, std::to_string(silent.port())).Text(260, "30").Text(280, address);
        r.Int(536, 1).Int(796, kServiceTestVorlan).Int(1880, 1).Int(1896, 1).Int(1904, 3);
        // Its own failure command for every class, which leaves a mark.
        r.Int(1892, 0).Int(1336, 1).Int(1340, 1).Int(1344, 1).Int(1348, 1).Int(1868, 1);
        return r.Text(1356, "touch " + dir / "alerted");
    };
    fakes::WriteBytes(
        dir / "Tarnwatch.ini",
        fakes::ListFileImage(-2.2f, 2, {agentEntry("127.0.0.1"), agentEntry("localhost")}));
    fakes::FakePlatform platform(true);
    RecordingObserver observer;
    MonitorEngine engine(platform.ports, nullptr);
    engine.SetObserver(&observer);
    engine.Initialise();
    ASSERT_EQ(engine.Settings().autoMove, 1) << "a failure would move the entry";

    int closesSeenInPass = -1;
    int pumps = 0;
    platform.pump.hook = [&] {
        // A termination signal arrives while the first agent keeps silent.
        if (++pumps == 5) {
            engine.RequestClose();
            closesSeenInPass = observer.closeRequests;
        }
    };
    engine.OnUpdateAll();
    EXPECT_EQ(closesSeenInPass, 0) << "the close must wait for the pass";
    EXPECT_EQ(observer.closeRequests, 1);
    EXPECT_FALSE(engine.InPass());
    // The cut-short test is no result: the first entry keeps its row, state,
    // attempt and cells, no alert ran, and the second was never tested.
    ASSERT_EQ(engine.Rows().size(), 2u);
    EXPECT_EQ(engine.Rows()[0].cells[kColAddress], "127.0.0.1");
    for (int r = 0; r < 2; ++r) {
        const RowView& row = engine.Rows()[static_cast<std::size_t>(r)];
        EXPECT_EQ(row.cells[kColStatus], "unknown") << r;
        EXPECT_EQ(row.cells[kColAttempt], "0/1") << r;
        EXPECT_EQ(engine.Entries().RecordAtRow(r).state, kStateUntested) << r;
        EXPECT_EQ(engine.Entries().RecordAtRow(r).attempt, 0) << r;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "alerted"));
    // Outside a pass a close is passed on at once.
    engine.RequestClose();
    EXPECT_EQ(observer.closeRequests, 2);
}

// A list file cut short, or whose header or count do not fit its size, loads
// what it can; the damaged file and the last complete list (the backup) are
// kept under names of their own and the user is told once. Later starts,
// which load the shortened list completely and refresh the backup from it,
// can then no longer lose the last complete list.
TEST(MonitorEngineStart, DamagedListKeepsTheLastCompleteListThroughLaterStarts) {
    fakes::TempDir dir;
    fakes::ScopedEnv home("TARNWATCH_HOME", dir.path());
    fakes::ScopedEnv tz("TZ", "UTC");
    const auto complete =
        fakes::ListFileImage(-2.2f, 3, {Entry(0, "a", 1), Entry(0, "b", 1), Entry(0, "c", 1)});
    auto start = [&](std::vector<std::string>& shown) {
        fakes::FakePlatform platform;
        MonitorEngine engine(platform.ports, nullptr);
        engine.Initialise();
        shown = platform.messageBox.shown;
        const int rows = engine.Entries().rowCount;
        engine.Shutdown({}, {});
        return rows;
    };
    auto kept = [&](const std::string& what) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename();
            if (name.find(what) != std::string::npos) names.push_back(e.path());
        }
        return names;
    };

    fakes::WriteBytes(dir / "Tarnwatch.ini", complete);
    std::vector<std::string> shown;
    ASSERT_EQ(start(shown), 3);
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(fakes::ReadBytes(dir / "Tarnwatch.bak"), complete);

    // The file is cut inside the third record (a full disk, a crash).
    auto cut = complete;
    cut.resize(8 + 2 * 1912 + 100);
    fakes::WriteBytes(dir / "Tarnwatch.ini", cut);
    EXPECT_EQ(start(shown), 2);
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_EQ(kept("-damaged-").size(), 1u);
    ASSERT_EQ(kept("-complete-").size(), 1u);
    EXPECT_NE(shown[0].find("2 entries"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find(kept("-damaged-")[0]), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find(kept("-complete-")[0]), std::string::npos) << shown[0];
    EXPECT_EQ(fakes::ReadBytes(kept("-damaged-")[0]), cut);
    EXPECT_EQ(fakes::ReadBytes(dir / "Tarnwatch.bak"), complete) << "refreshed from a damaged load";

    // The next starts load the two saved entries completely, without a word.
    EXPECT_EQ(start(shown), 2);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(start(shown), 2);
    EXPECT_EQ(fakes::ReadBytes(kept("-complete-")[0]), complete);

    // A count damaged to 1 "loads completely", but the size gives it away;
    // the earlier kept copies stay as they are.
    auto twoRecords = fakes::ReadBytes(dir / "Tarnwatch.ini");
    twoRecords[4] = 1;
    fakes::WriteBytes(dir / "Tarnwatch.ini", twoRecords);
    EXPECT_EQ(start(shown), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(kept("-damaged-").size(), 2u);
    EXPECT_EQ(kept("-complete-").size(), 2u);

    // A file nothing can be read from stays as it is; later starts keep no
    // further copies of the same bytes.
    fakes::WriteBytes(dir / "Tarnwatch.ini", {1, 2, 3});
    EXPECT_EQ(start(shown), 0);
    const std::size_t damagedCopies = kept("-damaged-").size();
    EXPECT_EQ(damagedCopies, 3u);
    EXPECT_EQ(start(shown), 0);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(kept("-damaged-").size(), damagedCopies);
    EXPECT_EQ(kept("-complete-").size(), 2u);
    for (const auto& name : kept("-complete-")) {
        if (fakes::ReadBytes(name) == complete) return;
    }
    ADD_FAILURE() << "the last complete list of three entries is lost";
}

}  // namespace
}  // namespace tarnwatch

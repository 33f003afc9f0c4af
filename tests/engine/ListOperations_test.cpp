// The list operations and the Global Options sequence of the monitor's
// controller, against real list files, fake ports and a sheet the test plays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "engine/ListOrder.h"
#include "engine/ListTextFile.h"
#include "engine/MonitorEngine.h"
#include "fakes/FakePorts.h"
#include "fakes/FileSizeLimit.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using fakes::RawRecord;

// A sheet whose user does what the test says, then presses OK (or Cancel
// when `edit` returns false).
class ScriptedSheets final : public SheetPort {
public:
    bool RunEntrySheet(ServiceItem& entry) override {
        ++entryRuns;
        return edit ? edit(entry) : false;
    }
    bool RunGlobalOptions(GlobalSettings& settings) override {
        ++optionRuns;
        return options ? options(settings) : false;
    }
    std::function<bool(ServiceItem&)> edit;
    std::function<bool(GlobalSettings&)> options;
    int entryRuns = 0;
    int optionRuns = 0;
};

class RecordingStore final : public SettingsStore {
public:
    void ReadSettings(GlobalSettings& s) override { s.minimize = 0; }
    void WriteListAndAlertSettings(const GlobalSettings&) override { ++listWrites; }
    void WriteRunOptions(const GlobalSettings& s, int before) override {
        ++runWrites, startupBefore = before, written = s;
    }
    int listWrites = 0;
    int runWrites = 0;
    int startupBefore = -1;
    GlobalSettings written;
};

class OptionsObserver final : public EngineObserver {
public:
    void RowsReset() override { ++resets; }
    void RowChanged(int) override {}
    void StateChanged() override {}
    void RowsInserted(int first, int) override {
        events.push_back("insert " + std::to_string(first));
    }
    void RowRemoved(int row) override { events.push_back("remove " + std::to_string(row)); }
    void RowMoved(int from, int to) override {
        events.push_back("move " + std::to_string(from) + ">" + std::to_string(to));
    }
    void OptionsApplied() override { ++applied; }
    void TrayIconChanged(bool) override {}
    void CloseRequested() override { ++closes; }
    std::vector<std::string> events;
    int resets = 0;
    int applied = 0;
    int closes = 0;
};

RawRecord Tcp(const std::string& address, const std::string& description, int enabled = 1) {
    RawRecord r(1912);
    r.Int(0, kSourceTcpPort).Text(4, "80").Text(260, "10").Text(280, address);
    r.Text(540, description).Int(536, enabled).Int(796, 7).Int(1880, 1).Int(1904, 3);
    return r;
}

class ListOperationsTest : public ::testing::Test {
protected:
    void Start(const std::vector<RawRecord>& records) {
        if (!records.empty()) {
            fakes::WriteBytes(
                dir / "Tarnwatch.ini",
                fakes::ListFileImage(-2.2f, static_cast<int>(records.size()), records));
        }
        platform.ports.sheets = &sheets;
        engine = std::make_unique<MonitorEngine>(platform.ports, &store);
        engine->SetObserver(&observer);
        engine->Initialise();
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> out;
        for (const RowView& r : engine->Rows())
            out.push_back(r.cells[static_cast<std::size_t>(column)]);
        return out;
    }
    bool Consistent() {
        EntryCollection& c = engine->EntriesForTesting();
        auto rows = engine->Rows();
        for (int r = 0; r < c.rowCount; ++r) {
            if (rows[static_cast<std::size_t>(r)].cells[kColAddress] != c.RecordAtRow(r).address)
                return false;
        }
        return ListOrder(c, rows).Consistent();
    }
    std::vector<unsigned char> ListBytes() const { return fakes::ReadBytes(dir / "Tarnwatch.ini"); }

    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    fakes::ScopedEnv tz{"TZ", "UTC"};
    fakes::FakePlatform platform;
    ScriptedSheets sheets;
    RecordingStore store;
    OptionsObserver observer;
    std::unique_ptr<MonitorEngine> engine;
};

// Whatever sequence of operations runs, the records, the order, each
// record's row and the shown rows agree.
TEST(ListOrderInvariant, HoldsThroughEveryOperation) {
    EntryCollection entries;
    RowList rows;
    ASSERT_TRUE(entries.Allocate(0));
    ListOrder order(entries, rows);
    std::mt19937 random(7);
    int added = 0;
    for (int step = 0; step < 2000; ++step) {
        const int n = entries.rowCount;
        const int pick = n > 0 ? static_cast<int>(random() % static_cast<unsigned>(n)) : 0;
        switch (random() % 5) {
            case 0: {
                ServiceItem item = NewEntryTemplate();
                CopyText(item.address, std::to_string(added++).c_str());
                RowView view;
                view.cells[kColAddress] = item.address;
                ASSERT_TRUE(order.Append(item, view));
                break;
            }
            case 1:
                order.Remove(pick);
                break;
            case 2:
                order.Swap(pick, n > 0 ? static_cast<int>(random() % static_cast<unsigned>(n)) : 0);
                break;
            case 3:
                order.MoveToEnd(pick);
                break;
            default: {
                std::vector<int> perm(static_cast<std::size_t>(n));
                std::iota(perm.begin(), perm.end(), 0);
                std::shuffle(perm.begin(), perm.end(), random);
                ASSERT_TRUE(order.Reorder(perm));
            }
        }
        ASSERT_TRUE(order.Consistent()) << "after step " << step;
        for (int r = 0; r < entries.rowCount; ++r) {
            ASSERT_EQ(rows[static_cast<std::size_t>(r)].cells[kColAddress],
                      entries.RecordAtRow(r).address);
        }
    }
    EXPECT_FALSE(order.Reorder({0, 0}));  // not a permutation: nothing changes
    order.Remove(entries.rowCount);       // past the end: nothing
    EXPECT_TRUE(order.Consistent());
}

TEST_F(ListOperationsTest, RemoveAndMoveStayInsideTheListAndNeverSave) {
    Start({Tcp("a", ""), Tcp("b", ""), Tcp("c", ""), Tcp("d", ""), Tcp("e", "")});
    const auto saved = ListBytes();
    engine->OnSelect(2);
    engine->OnRemove();
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a", "b", "d", "e"}));
    EXPECT_EQ(engine->Entries().selectedRow, 1);
    engine->OnSelect(3);
    engine->OnMoveDown();  // the last row cannot go further down
    engine->OnSelect(0);
    engine->OnMoveUp();  // nor the first up
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a", "b", "d", "e"}));
    engine->OnSelect(1);
    engine->OnMoveDown();
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a", "d", "b", "e"}));
    EXPECT_EQ(engine->Entries().selectedRow, 2);
    engine->OnMoveUp();
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a", "b", "d", "e"}));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"remove 2", "move 1>2", "move 2>1"}));
    EXPECT_TRUE(Consistent());
    EXPECT_EQ(ListBytes(), saved);

    for (int i = 0; i < 4; ++i) {
        engine->OnSelect(0);
        engine->OnRemove();
    }
    EXPECT_TRUE(engine->Rows().empty());
    EXPECT_EQ(engine->Entries().selectedRow, -1);
    const ButtonStates& b = engine->Buttons();
    EXPECT_FALSE(b.remove || b.edit || b.update || b.moveUp || b.moveDown);
    EXPECT_TRUE(b.add);
    engine->OnRemove();  // on an empty list: nothing, and nothing out of range
    engine->OnMoveDown();
    engine->OnEdit();
    EXPECT_EQ(sheets.entryRuns, 0);
}

// The collation of a real locale for one test; the one before comes back
// afterwards, so later tests see the process as it was.
class ScopedCollation {
public:
    explicit ScopedCollation(const char* name) {
        const char* before = std::setlocale(LC_COLLATE, nullptr);
        before_ = before ? before : "C";
        active_ = std::setlocale(LC_COLLATE, name) != nullptr;
    }
    ~ScopedCollation() { std::setlocale(LC_COLLATE, before_.c_str()); }
    bool active() const { return active_; }

private:
    std::string before_;
    bool active_ = false;
};

// Ordered as people read the language, not by byte: lower case before upper
// case of the same word, an accented letter beside the plain one.
TEST_F(ListOperationsTest, SortByShownTextAlternatesAndIsStableForEqualKeys) {
    ScopedCollation collation("en_US.UTF-8");
    if (!collation.active()) GTEST_SKIP() << "no en_US.UTF-8 locale (scripts/install-deps adds it)";
    Start({Tcp("a", "beta"), Tcp("b", "alpha"), Tcp("c", "beta"), Tcp("d", "Alpha"),
           Tcp("e",
               "\xC3\xA9"
               "clair"),
           Tcp("f", "ezra")});
    const auto saved = ListBytes();
    engine->OnSort(kColDescription);
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"b", "d", "a", "c", "e", "f"}));
    EXPECT_EQ(engine->Entries().selectedRow, 5);
    engine->OnSort(kColDescription);  // again: descending, equal keys keep their order
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"f", "e", "a", "c", "d", "b"}));
    engine->OnSort(kColAddress);  // another column starts ascending
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
    EXPECT_TRUE(Consistent());
    EXPECT_EQ(ListBytes(), saved);

    // Numbers compare as the text shown: "10/10" before "2/3".
    engine->EntriesForTesting().RecordAtRow(0).attempts = 3;
    engine->EntriesForTesting().RecordAtRow(0).attempt = 2;
    engine->EntriesForTesting().RecordAtRow(1).attempts = 10;
    engine->EntriesForTesting().RecordAtRow(1).attempt = 10;
    engine->OnSelect(0);
    sheets.edit = [](ServiceItem&) { return true; };  // refreshes the cells
    engine->OnEdit();
    engine->OnSelect(1);
    engine->OnEdit();
    engine->OnSort(kColAttempt);
    EXPECT_EQ(Column(kColAttempt),
              (std::vector<std::string>{"0/1", "0/1", "0/1", "0/1", "10/10", "2/3"}));
}

TEST_F(ListOperationsTest, AddShowsTheNewEntryAndSavesOnlyWhatItTests) {
    Start({});
    EXPECT_TRUE(engine->Buttons().add);
    // A TCP entry without an address is dropped without a word.
    sheets.edit = [](ServiceItem&) { return true; };
    engine->OnAdd();
    EXPECT_TRUE(engine->Rows().empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "Tarnwatch.ini"));
    EXPECT_EQ(store.listWrites, 1);
    // Cancel: nothing at all.
    sheets.edit = [](ServiceItem& e) {
        CopyText(e.address, "x");
        return false;
    };
    engine->OnAdd();
    EXPECT_TRUE(engine->Rows().empty());
    EXPECT_EQ(store.listWrites, 1);

    sheets.edit = [](ServiceItem& e) {
        e.sourceKind = kSourceProcessName;
        e.serviceTest = kServiceTestIsRunning;
        CopyText(e.address, "Local Machine");
        CopyText(e.source, "sshd");
        return true;
    };
    engine->OnAdd();
    ASSERT_EQ(engine->Rows().size(), 1u);
    const RowView& row = engine->Rows()[0];
    EXPECT_EQ(row.cells[kColStatus], "unknown");
    EXPECT_EQ(row.image, kImageWarning);
    EXPECT_EQ(row.cells[kColSource], "sshd");
    EXPECT_EQ(row.cells[kColTimeout], " ");
    EXPECT_EQ(engine->Entries().selectedRow, 0);
    EXPECT_TRUE(engine->Buttons().update && engine->Buttons().moveDown);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"insert 0"}));
    const auto bytes = ListBytes();
    ASSERT_EQ(bytes.size(), 8u + 1912u + 4u);
    EXPECT_EQ(fakes::IntAt(bytes, 4), 1);
    EXPECT_EQ(fakes::IntAt(bytes, 8 + 1876), kStateUntested);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 8 + 4), "sshd");
}

TEST_F(ListOperationsTest, EditWritesBackFieldsButNotTheRunTimeState) {
    Start({Tcp("a", "off", 0), Tcp("b", "")});
    engine->EntriesForTesting().RecordAtRow(0).state = kStateRetrying;
    engine->EntriesForTesting().RecordAtRow(0).attempt = 1;
    EXPECT_EQ(engine->Rows()[0].image, kImageNetworkDisabled);
    EXPECT_EQ(engine->Rows()[0].cells[kColStatus], "disabled");
    engine->OnSelect(0);
    sheets.edit = [](ServiceItem& e) {
        e.enabled = 1;
        e.state = 0;  // a sheet cannot reach these, and they are not taken back
        e.row = 7;
        CopyText(e.description, "on");
        return true;
    };
    engine->OnEdit();
    const ServiceItem& record = engine->Entries().RecordAtRow(0);
    EXPECT_EQ(record.enabled, 1);
    EXPECT_STREQ(record.description, "on");
    EXPECT_EQ(record.state, kStateRetrying);
    EXPECT_EQ(record.row, 0);
    EXPECT_EQ(record.attempt, 1);
    EXPECT_EQ(engine->Rows()[0].image, kImageNetwork);
    EXPECT_EQ(engine->Rows()[0].cells[kColStatus], " ");
    EXPECT_EQ(fakes::IntAt(ListBytes(), 8 + 536), 1);  // saved

    // An edit that empties the address removes the entry.
    sheets.edit = [](ServiceItem& e) {
        e.address[0] = '\0';
        return true;
    };
    engine->OnEdit();
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"b"}));
    EXPECT_EQ(fakes::IntAt(ListBytes(), 4), 1);
    EXPECT_TRUE(Consistent());
}

// A save that fails while the program runs is told as soon as it is known,
// with the file and the reason, and the file keeps the list it held; also
// when the window saves in the background.
TEST_F(ListOperationsTest, FailedSaveAfterAddIsReportedAndKeepsThePreviousFile) {
    Start({Tcp("a", "")});
    const auto before = ListBytes();
    for (bool background : {false, true}) {
        const bool told = fakes::TrueUnderFileSizeLimit(2048, [&] {
            engine->SetBackgroundSaves(background);
            sheets.edit = [](ServiceItem& e) {
                CopyText(e.address, "b");
                return true;
            };
            engine->OnAdd();
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (background && platform.messageBox.shown.empty() &&
                   std::chrono::steady_clock::now() < giveUp) {
                platform.manualClock.AdvanceMs(50);
                platform.timers.FireDue();
            }
            const auto& shown = platform.messageBox.shown;
            return shown.size() == 1 &&
                   shown[0].find((dir / "Tarnwatch.ini")) != std::string::npos &&
                   shown[0].find("too large") != std::string::npos && engine->Rows().size() == 2;
        });
        EXPECT_TRUE(told) << "background " << background;
        EXPECT_EQ(ListBytes(), before);
    }
}

TEST_F(ListOperationsTest, GlobalOptionsRestartOnlyChangedClassesAndWriteOnlyOnOk) {
    Start({Tcp("a", "")});
    engine->SettingsForTesting().lowInterval = 2;
    engine->SettingsForTesting().highInterval = 5;
    engine->OnGlobalOptions();  // Cancel
    EXPECT_EQ(store.runWrites, 0);
    EXPECT_EQ(store.listWrites, 0);

    platform.manualClock.AdvanceMs(60'000);
    const auto lowNext = engine->Scheduler().NextUpdateTime(kFrequencyLow);
    sheets.options = [](GlobalSettings& s) {
        s.highInterval = 1;
        s.disableClose = 0;
        s.startup = 0;
        s.columnWidth[0] = 999;  // not the sheet's to change
        return true;
    };
    engine->OnGlobalOptions();
    EXPECT_EQ(store.runWrites, 1);
    EXPECT_EQ(store.listWrites, 1);
    EXPECT_EQ(store.startupBefore, 1);
    EXPECT_EQ(store.written.highInterval, 1);
    EXPECT_EQ(engine->Settings().columnWidth[0], 120);
    EXPECT_EQ(engine->Settings().disableClose, 0);
    EXPECT_EQ(observer.applied, 1);
    EXPECT_EQ(engine->Scheduler().NextUpdateTime(kFrequencyHigh), platform.clock.Now() + 60);
    EXPECT_EQ(engine->Scheduler().NextUpdateTime(kFrequencyLow), lowNext);
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

// While a sheet is open nothing else starts and the countdowns stay frozen
// whatever pauses and resumes happen inside it; a close asked for meanwhile
// drops the sheet's result and is handed on once, after the sheet. The
// sheet's result goes to the entry it opened, wherever that entry's row went.
TEST_F(ListOperationsTest, SheetHoldsTheScheduleAndACloseAndWritesBackToItsOwnEntry) {
    Start({Tcp("a", "first"), Tcp("b", "second")});
    ASSERT_TRUE(platform.timers.IsArmed(kTimerUpdateTick));
    engine->OnSelect(0);
    sheets.edit = [this](ServiceItem& e) {
        EXPECT_TRUE(engine->Busy());
        engine->PauseSchedule();  // as a message inside the sheet does
        engine->ResumeSchedule();
        EXPECT_FALSE(platform.timers.IsArmed(kTimerUpdateTick)) << "an inner resume restarted it";
        engine->OnUpdateAll();
        engine->OnGlobalOptions();
        engine->OnEdit();
        // The entry's row moves while the sheet is open.
        auto& rows = const_cast<RowList&>(engine->Rows());
        ListOrder(engine->EntriesForTesting(), rows).Swap(0, 1);
        CopyText(e.description, "edited");
        return true;
    };
    engine->OnEdit();
    EXPECT_EQ(platform.waitCursor.begins, 0) << "a pass ran inside the sheet";
    EXPECT_EQ(sheets.optionRuns, 0);
    EXPECT_EQ(sheets.entryRuns, 1);
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(Column(kColDescription), (std::vector<std::string>{"second", "edited"}));
    EXPECT_TRUE(platform.timers.IsArmed(kTimerUpdateTick));
    EXPECT_TRUE(Consistent());

    const auto saved = ListBytes();
    sheets.edit = [this](ServiceItem& e) {
        engine->RequestClose();
        EXPECT_EQ(observer.closes, 0) << "the close went ahead under the open sheet";
        CopyText(e.description, "dropped");
        return true;
    };
    engine->OnSelect(0);
    engine->OnEdit();
    EXPECT_EQ(observer.closes, 1);
    EXPECT_EQ(Column(kColDescription), (std::vector<std::string>{"second", "edited"}));
    EXPECT_EQ(ListBytes(), saved);
    engine->RequestClose();  // outside anything: at once
    EXPECT_EQ(observer.closes, 2);
}

// The session's save request writes the list as it stands, and the program
// goes on running.
TEST_F(ListOperationsTest, SessionSaveWritesTheListAndKeepsRunning) {
    Start({Tcp("a", "first")});
    CopyText(engine->EntriesForTesting().RecordAtRow(0).description, "changed");
    const int writes = store.listWrites;
    engine->SaveForSession({}, {});
    EXPECT_EQ(store.listWrites, writes + 1);
    EXPECT_EQ(ListBytes()[8 + 540], 'c');
    EXPECT_FALSE(engine->ShutdownDone());
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(platform.timers.IsArmed(kTimerUpdateTick));
}

// An import in the window replaces the rows and the file; an add whose save
// was still waiting lands in the kept copy of the old list, never over the
// imported one.
TEST_F(ListOperationsTest, ImportAfterAWaitingSaveKeepsItAndReplacesTheRows) {
    Start({Tcp("a", ""), Tcp("b", "")});
    engine->SetBackgroundSaves(true);
    sheets.edit = [](ServiceItem& e) {
        CopyText(e.address, "c");
        return true;
    };
    engine->OnAdd();
    std::ofstream(dir / "new.toml") << "[[entry]]\naddress = \"new.example\"\n";
    EntryCollection imported;
    std::string error;
    ASSERT_TRUE(ReadListText(dir / "new.toml", imported, error)) << error;

    const TextListOutcome outcome = engine->ImportEntries(std::move(imported), dir / "new.toml");
    ASSERT_EQ(outcome.code, kTextListDone) << outcome.message;
    EXPECT_EQ(Column(kColAddress), (std::vector<std::string>{"new.example"}));
    EXPECT_TRUE(Consistent());
    platform.manualClock.AdvanceMs(1000);
    platform.timers.FireDue();
    engine->SetBackgroundSaves(false);
    EXPECT_EQ(fakes::IntAt(ListBytes(), 4), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ListBytes().data()) + 8 + 280),
              "new.example");
    std::string kept;
    for (const auto& f : std::filesystem::directory_iterator(dir.path())) {
        if (f.path().filename().string().rfind("Tarnwatch-replaced-", 0) == 0) kept = f.path();
    }
    ASSERT_FALSE(kept.empty()) << outcome.message;
    EXPECT_EQ(fakes::IntAt(fakes::ReadBytes(kept), 4), 3);
}

}  // namespace
}  // namespace tarnwatch

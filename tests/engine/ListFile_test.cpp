// The list file: the four record layouts read from files built byte by byte,
// the run-time fields, the backup, display order on save, the atomic save and
// damaged files.
#include "engine/ListFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "fakes/FileSizeLimit.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using fakes::IntAt;
using fakes::ListFileImage;
using fakes::RawRecord;
using fakes::ReadBytes;
using fakes::TempDir;
using fakes::WriteBytes;

class ListFileTest : public ::testing::Test {
protected:
    ListFilePaths Paths() const {
        return {dir.path(), dir / "Tarnwatch.ini", dir / "Tarnwatch.bak"};
    }
    LoadReport Load(const std::vector<unsigned char>& image) {
        WriteBytes(Paths().listFile, image);
        return LoadListFile(entries, Paths());
    }
    TempDir dir;
    EntryCollection entries;
};

// A current record with every field set to a value that differs from its
// neighbours, including the run-time fields the load must replace.
RawRecord Current(const std::string& address, std::int32_t serviceTest) {
    RawRecord r(1912);
    r.Int(0, 2).Text(4, "/usr/bin/check").Text(260, "25").Text(280, address).Int(536, 1);
    r.Text(540, "desc " + address).Int(796, serviceTest).Int(800, 77);
    r.Int(804, 1).Int(808, 0).Int(812, 1).Int(816, 2).Int(820, 9);
    r.Text(824, "fail.wav").Text(1080, "ok.wav");
    r.Int(1336, 1).Int(1340, 1).Int(1344, 0).Int(1348, 2).Int(1352, 5);
    r.Text(1356, "failcmd @A").Text(1612, "okcmd @A").Int(1868, 1).Int(1872, 1);
    r.Int(1876, 0x00010000).Int(1880, 3).Int(1884, 2).Int(1888, 0).Int(1892, 1);
    r.Int(1896, 0).Int(1900, 123456).Int(1904, 2).Int(1908, 1);
    return r;
}

TEST_F(ListFileTest, CurrentLayoutLoadsEveryFieldAndResetsRunTimeFields) {
    auto report = Load(ListFileImage(-2.2f, 2, {Current("alpha", 7), Current("beta", 29)}));
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.readError);
    ASSERT_EQ(entries.recordCount, 2);
    ASSERT_EQ(entries.rowCount, 2);
    EXPECT_EQ(entries.selectedRow, 1);
    const ServiceItem& e = entries.RecordAtRow(1);
    EXPECT_EQ(e.sourceKind, 2);
    EXPECT_STREQ(e.source, "/usr/bin/check");
    EXPECT_STREQ(e.timeoutText, "25");
    EXPECT_STREQ(e.address, "beta");
    EXPECT_STREQ(e.description, "desc beta");
    EXPECT_EQ(e.serviceTest, 29);
    EXPECT_EQ(e.alerts.sound.soundMode, 2);
    EXPECT_EQ(e.alerts.sound.soundSpare, 9);
    EXPECT_STREQ(e.alerts.sound.okAgainSound, "ok.wav");
    EXPECT_EQ(e.alerts.batch.batchMode, 2);
    EXPECT_STREQ(e.alerts.batch.okAgainCommand, "okcmd @A");
    EXPECT_EQ(e.alerts.batch.okAgainCommandWait, 1);
    EXPECT_EQ(e.attempts, 3);
    EXPECT_EQ(e.batchUseGlobal, 1);
    EXPECT_EQ(e.frequency, 2);
    EXPECT_EQ(e.checkInternet, 1);
    // run-time fields
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(e.state, kStateUntested);
    EXPECT_EQ(e.attempt, 0);
    EXPECT_EQ(e.lastTestTime, 0);
    EXPECT_EQ(entries.order[0], 0);
    EXPECT_EQ(entries.order[1], 1);
    // A complete load refreshes the backup with the list file's bytes.
    EXPECT_EQ(ReadBytes(Paths().backupFile), ReadBytes(Paths().listFile));
}

TEST_F(ListFileTest, Layout1908ShiftsServiceTestsFromIsRunningOn) {
    auto rec = [](std::int32_t test) {
        RawRecord r(1908);
        r.Text(280, "host").Int(796, test).Int(1904, 1);
        return r;
    };
    Load(ListFileImage(-2.1f, 4, {rec(13), rec(14), rec(28), rec(3)}));
    ASSERT_EQ(entries.rowCount, 4);
    EXPECT_EQ(entries.RecordAtRow(0).serviceTest, 13);
    EXPECT_EQ(entries.RecordAtRow(1).serviceTest, 15);
    EXPECT_EQ(entries.RecordAtRow(2).serviceTest, 29);
    EXPECT_EQ(entries.RecordAtRow(3).serviceTest, 3);
    EXPECT_EQ(entries.RecordAtRow(0).frequency, 1);
    EXPECT_EQ(entries.RecordAtRow(0).checkInternet, 0);
}

TEST_F(ListFileTest, Layout1900GetsHighFrequencyAndKeepsServiceTest) {
    RawRecord r(1900);
    r.Int(0, 3).Text(280, "pinged").Int(796, 17).Int(1880, 4);
    for (float header : {-2.02f, -2.0f, -1.21f}) {
        Load(ListFileImage(header, 1, {r}));
        ASSERT_EQ(entries.rowCount, 1) << header;
        const ServiceItem& e = entries.RecordAtRow(0);
        EXPECT_EQ(e.serviceTest, 17);
        EXPECT_EQ(e.sourceKind, 3);
        EXPECT_EQ(e.attempts, 4);
        EXPECT_EQ(e.frequency, kFrequencyHigh);
        EXPECT_EQ(e.checkInternet, 0);
    }
}

TEST_F(ListFileTest, Layout1888MovesFieldsToTheirNewOffsets) {
    RawRecord r(1888);
    r.Text(0, "8080").Text(256, "12").Text(276, "oldhost").Int(532, 1).Text(536, "old desc");
    r.Int(792, 14).Int(800, 1).Int(804, 0).Int(808, 1).Int(812, 1).Int(816, 4);
    r.Text(820, "old fail.wav").Text(1076, "old ok.wav").Int(1332, 1).Int(1344, 2).Int(1348, 6);
    r.Text(1352, "old failcmd").Text(1608, "old okcmd").Int(1868, 5).Int(1876, 0).Int(1880, 1);
    r.Int(1884, 1);
    for (float header : {-1.2f, -1.0f, 0.0f, 3.5f}) {
        Load(ListFileImage(header, 1, {r}));
        ASSERT_EQ(entries.rowCount, 1) << header;
        const ServiceItem& e = entries.RecordAtRow(0);
        EXPECT_EQ(e.sourceKind, kSourceTcpPort);
        EXPECT_STREQ(e.source, "8080");
        EXPECT_STREQ(e.timeoutText, "12");
        EXPECT_STREQ(e.address, "oldhost");
        EXPECT_EQ(e.enabled, 1);
        EXPECT_STREQ(e.description, "old desc");
        EXPECT_EQ(e.serviceTest, 14);  // not shifted in this layout
        EXPECT_EQ(e.alerts.sound.soundOnUnavailable, 1);
        EXPECT_EQ(e.alerts.sound.soundOnTimedOut, 0);
        EXPECT_EQ(e.alerts.sound.soundMode, 1);
        EXPECT_EQ(e.alerts.sound.soundSpare, 4);
        EXPECT_STREQ(e.alerts.sound.failedSound, "old fail.wav");
        EXPECT_STREQ(e.alerts.sound.okAgainSound, "old ok.wav");
        EXPECT_EQ(e.alerts.batch.batchOnUnavailable, 1);
        EXPECT_EQ(e.alerts.batch.batchMode, 2);
        EXPECT_EQ(e.alerts.batch.batchSpare, 6);
        EXPECT_STREQ(e.alerts.batch.failedCommand, "old failcmd");
        EXPECT_STREQ(e.alerts.batch.okAgainCommand, "old okcmd");
        EXPECT_EQ(e.alerts.batch.failedCommandWait, 0);
        EXPECT_EQ(e.alerts.batch.okAgainCommandWait, 0);
        EXPECT_EQ(e.attempts, 5);
        EXPECT_EQ(e.soundUseGlobal, 0);
        EXPECT_EQ(e.batchUseGlobal, 1);
        EXPECT_EQ(e.verifyService, 1);
        EXPECT_EQ(e.frequency, kFrequencyHigh);
    }
}

TEST(ListFileHeader, StrictDoubleComparison) {
    EXPECT_EQ(RecordSizeForHeader(-2.2f), 1912);
    EXPECT_EQ(RecordSizeForHeader(-2.1f), 1908);  // as a float it lies above -2.1
    EXPECT_EQ(RecordSizeForHeader(-2.02f), 1900);
    EXPECT_EQ(RecordSizeForHeader(-1.21f), 1900);  // as a float it lies below -1.21
    EXPECT_EQ(RecordSizeForHeader(-1.2f), 1888);
    EXPECT_EQ(RecordSizeForHeader(0.0f), 1888);
    EXPECT_EQ(RecordSizeForHeader(-std::numeric_limits<float>::infinity()), 1912);
    EXPECT_EQ(RecordSizeForHeader(std::numeric_limits<float>::infinity()), 1888);
    EXPECT_EQ(RecordSizeForHeader(std::nanf("")), 1888);
}

TEST_F(ListFileTest, CutShortRecordKeepsCompleteOnesAndLeavesBackup) {
    WriteBytes(Paths().backupFile, {'o', 'l', 'd'});
    auto image =
        ListFileImage(-2.2f, 3, {Current("a", 1), Current("b", 2), Current("c", 3)}, false);
    image.resize(image.size() - 100);
    auto report = Load(image);
    EXPECT_TRUE(report.readError);
    EXPECT_EQ(entries.recordCount, 2);
    EXPECT_EQ(entries.rowCount, 2);
    EXPECT_STREQ(entries.RecordAtRow(1).address, "b");
    EXPECT_EQ(ReadBytes(Paths().backupFile), (std::vector<unsigned char>{'o', 'l', 'd'}));
}

TEST_F(ListFileTest, HugeCountNeverAllocatesForTheCount) {
    // The count promises two billion records; only what the file holds may
    // be allocated.
    EntryCollection::SetAllocationCapForTesting(10 * sizeof(ServiceItem));
    auto report =
        Load(ListFileImage(-2.2f, std::numeric_limits<std::int32_t>::max(), {Current("x", 1)}));
    EntryCollection::SetAllocationCapForTesting(0);
    EXPECT_FALSE(report.outOfMemory);
    EXPECT_TRUE(report.readError);
    EXPECT_EQ(entries.rowCount, 1);
}

TEST_F(ListFileTest, EmptyAndDamagedHeadersGiveAnEmptyList) {
    const std::vector<std::vector<unsigned char>> images = {
        {},
        {0xCD, 0xCC, 0x0C},
        {0xCD, 0xCC, 0x0C, 0xC0, 0x01},
        ListFileImage(-2.2f, 0, {}),
        ListFileImage(-2.2f, -5, {Current("x", 1)}),
    };
    for (const auto& image : images) {
        Load(image);
        EXPECT_EQ(entries.recordCount, 0);
        EXPECT_EQ(entries.rowCount, 0);
        EXPECT_EQ(entries.selectedRow, -1);
        EXPECT_FALSE(std::filesystem::exists(Paths().backupFile));
        EXPECT_EQ(SaveListFile(entries, Paths()), SaveResult::kNothingToSave);
        EXPECT_EQ(ReadBytes(Paths().listFile), image) << "the file must be left alone";
    }
}

TEST_F(ListFileTest, MissingFileOrDirectoryStartsEmpty) {
    auto report = LoadListFile(
        entries, {dir / "none", dir / "none/Tarnwatch.ini", dir / "none/Tarnwatch.bak"});
    EXPECT_FALSE(report.opened);
    EXPECT_EQ(entries.rowCount, 0);
}

TEST_F(ListFileTest, RandomBytesNeverCrash) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> image(rng() % 6000);
        for (auto& b : image) b = static_cast<unsigned char>(rng());
        if (image.size() >= 8 && round % 2) {
            // plausible headers and small counts reach the record paths
            float headers[] = {-2.2f, -2.1f, -2.0f, 0.0f};
            std::memcpy(image.data(), &headers[round % 4], 4);
            std::int32_t count = static_cast<std::int32_t>(rng() % 5);
            std::memcpy(image.data() + 4, &count, 4);
        }
        Load(image);
        for (int r = 0; r < entries.rowCount; ++r) {
            const ServiceItem& e = entries.RecordAtRow(r);
            EXPECT_LT(strnlen(e.address, sizeof e.address), sizeof e.address);
            EXPECT_LT(strnlen(e.timeoutText, sizeof e.timeoutText), sizeof e.timeoutText);
            // Whatever the bytes held, the run-time fields start afresh.
            EXPECT_EQ(e.state, kStateUntested);
            EXPECT_EQ(e.row, r);
        }
    }
}

TEST_F(ListFileTest, TextsWithoutTerminatorAreCutInsideTheirField) {
    RawRecord r = Current("x", 1);
    for (std::size_t i = 260; i < 280; ++i) r.bytes[i] = 'T';  // timeoutText, no NUL
    for (std::size_t i = 280; i < 536; ++i) r.bytes[i] = 'A';  // address, no NUL
    Load(ListFileImage(-2.2f, 1, {r}));
    ASSERT_EQ(entries.rowCount, 1);
    EXPECT_EQ(std::string(entries.RecordAtRow(0).timeoutText), std::string(19, 'T'));
    EXPECT_EQ(std::string(entries.RecordAtRow(0).address), std::string(255, 'A'));
}

TEST_F(ListFileTest, SaveWritesDisplayOrderAndReloadsAsIdentity) {
    Load(ListFileImage(-2.2f, 3, {Current("a", 1), Current("b", 2), Current("c", 3)}));
    // The operator moved "c" to the top.
    entries.order[0] = 2;
    entries.order[1] = 0;
    entries.order[2] = 1;
    ASSERT_EQ(SaveListFile(entries, Paths()), SaveResult::kWritten);
    auto bytes = ReadBytes(Paths().listFile);
    ASSERT_EQ(bytes.size(), 8u + 3 * 1912 + 4);
    EXPECT_EQ((std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4)),
              (std::vector<unsigned char>{0xCD, 0xCC, 0x0C, 0xC0}));
    EXPECT_EQ(IntAt(bytes, 4), 3);
    EXPECT_EQ(IntAt(bytes, bytes.size() - 4), 0);
    EXPECT_EQ(bytes[8 + 280], 'c');
    EXPECT_EQ(bytes[8 + 1912 + 280], 'a');
    EntryCollection again;
    ASSERT_FALSE(LoadListFile(again, Paths()).readError);
    ASSERT_EQ(again.rowCount, 3);
    EXPECT_STREQ(again.RecordAtRow(0).address, "c");
    EXPECT_STREQ(again.RecordAtRow(2).address, "b");
    EXPECT_EQ(again.order[0], 0);
}

TEST_F(ListFileTest, RemovingEveryEntryWritesAnEmptyList) {
    Load(ListFileImage(-2.2f, 2, {Current("a", 1), Current("b", 2)}));
    entries.rowCount = 0;  // both rows removed; their slots remain
    ASSERT_EQ(SaveListFile(entries, Paths()), SaveResult::kWritten);
    EntryCollection again;
    auto report = LoadListFile(again, Paths());
    EXPECT_TRUE(report.opened);
    EXPECT_EQ(again.rowCount, 0);
    EXPECT_EQ(IntAt(ReadBytes(Paths().listFile), 4), 0);
}

TEST_F(ListFileTest, SaveCreatesTheDirectory) {
    Load(ListFileImage(-2.2f, 1, {Current("a", 1)}));
    ListFilePaths deeper{dir / "x/y", dir / "x/y/Tarnwatch.ini", dir / "x/y/Tarnwatch.bak"};
    EXPECT_EQ(SaveListFile(entries, deeper), SaveResult::kWritten);
    EXPECT_TRUE(std::filesystem::exists(deeper.listFile));
}

TEST_F(ListFileTest, FailedSaveLeavesThePreviousFileWhole) {
    const auto original = ListFileImage(-2.2f, 1, {Current("keep", 1)});
    Load(original);
    // Enough rows that the new file cannot fit under the size limit below.
    ASSERT_TRUE(entries.Allocate(8));
    for (int i = 0; i < 8; ++i) {
        entries.records[static_cast<std::size_t>(i)] = NewEntryTemplate();
        entries.order[static_cast<std::size_t>(i)] = i;
    }
    entries.recordCount = entries.rowCount = 8;
    EXPECT_TRUE(fakes::TrueUnderFileSizeLimit(4096, [&] {
        return SaveListFile(entries, Paths()) == SaveResult::kFailed;
    })) << "the save must report its failure";
    EXPECT_EQ(ReadBytes(Paths().listFile), original);
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path())) (void)entry, ++files;
    EXPECT_EQ(files, 2) << "no temporary file may be left behind";
}

TEST_F(ListFileTest, SymbolicLinksAreSavedThroughAndStayLinks) {
    // The list is a relative link to a link to a file in another directory,
    // as a user may keep a list on a shared disk.
    std::filesystem::create_directories(dir / "shared/lists");
    const std::string real = dir / "shared/lists/main.ini";
    WriteBytes(real, ListFileImage(-2.2f, 1, {Current("a", 1)}));
    std::filesystem::create_symlink("lists/main.ini", dir / "shared/current");
    std::filesystem::create_symlink("shared/current", Paths().listFile);
    ASSERT_EQ(LoadListFile(entries, Paths()).damaged, false);
    ASSERT_EQ(entries.rowCount, 1);
    CopyText(entries.RecordAtRow(0).address, "changed");
    ASSERT_EQ(SaveListFile(entries, Paths()), SaveResult::kWritten);

    EXPECT_TRUE(std::filesystem::is_symlink(Paths().listFile));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "shared/current"));
    EntryCollection again;
    ASSERT_FALSE(LoadListFile(again, {dir.path(), real, dir / "other.bak"}).damaged);
    EXPECT_STREQ(again.RecordAtRow(0).address, "changed");
    // The temporary file was made beside the target and renamed over it.
    for (const std::string& d : {dir.path(), dir / "shared", dir / "shared/lists"}) {
        for (const auto& e : std::filesystem::directory_iterator(d)) {
            EXPECT_EQ(e.path().filename().string().find(".ini."), std::string::npos) << e.path();
        }
    }
    // A link that leads nowhere but round in a circle is not saved through.
    std::filesystem::remove(Paths().listFile);
    std::filesystem::create_symlink("Tarnwatch.ini", Paths().listFile);
    EXPECT_EQ(SaveListFile(entries, Paths()), SaveResult::kFailed);
}

TEST(ListFileLocation, FollowsTheEnvironment) {
    {
        fakes::ScopedEnv home("TARNWATCH_HOME", "/srv/tw");
        EXPECT_EQ(ListFileLocation().listFile, "/srv/tw/Tarnwatch.ini");
        EXPECT_EQ(ListFileLocation().backupFile, "/srv/tw/Tarnwatch.bak");
    }
    fakes::ScopedEnv noHome("TARNWATCH_HOME", "");
    fakes::ScopedEnv data("XDG_DATA_HOME", "/data");
    EXPECT_EQ(ListFileLocation().listFile, "/data/Tarnwatch/Tarnwatch.ini");
    fakes::ScopedEnv relative("XDG_DATA_HOME", "relative");
    fakes::ScopedEnv user("HOME", "/home/op");
    EXPECT_EQ(ListFileLocation().directory, "/home/op/.local/share/Tarnwatch");
}

}  // namespace
}  // namespace tarnwatch

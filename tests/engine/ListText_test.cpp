// The list's text form: a round trip through real files that a standard TOML
// reader also reads, hand-written entries, and bad input that never changes
// the list.
#include "engine/ListText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/ListTextFile.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using fakes::RawRecord;
using fakes::ReadBytes;
using fakes::ReadText;
using fakes::TempDir;
using fakes::WriteBytes;

ListFilePaths Home(const std::string& dir) {
    return {dir, dir + "/Tarnwatch.ini", dir + "/Tarnwatch.bak"};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    return out;
}

// The second entry of the round trip, every key as a person reads it: a
// description in an old 8-bit code page comes out as its bytes.
constexpr char kLocalEntryText[] = R"([[entry]]
description = [0x43, 0x61, 0x66, 0xE9]
address = "Local Machine"
test = "Is_running"
kind = "process name"
source = "sshd"
timeout = 10
attempts = 1
frequency = "on demand"
enabled = true
verify_service = false
check_internet = false
sound_use_global = true
sound_on_unavailable = true
sound_on_timed_out = true
sound_on_unresolved = true
sound_mode = "continuous"
sound_spare = 3
failed_sound = "Failure.wav"
ok_again_sound = "Available.wav"
batch_use_global = true
batch_on_unavailable = false
batch_on_timed_out = false
batch_on_unresolved = false
batch_mode = "none"
batch_spare = 0
failed_command = ""
ok_again_command = ""
failed_command_wait = false
ok_again_command_wait = false
)";

TEST(ListTextTest, ExportImportExportGivesTheSameTextAndRecordsThatTomllibReads) {
    TempDir a, b;
    const std::string hostile = "\"q\" \\ a\tb\nc \xC3\xBC \x01\x7F\xC2\x85 \xE2\x82\xAC";
    RawRecord web(1912), local(1912), ping(1912);
    web.Int(0, 0).Text(4, "8080").Text(260, "15").Text(280, "web.example").Int(536, 0);
    web.Text(540, hostile).Int(796, 7).Int(800, 9);
    web.Int(804, 1).Int(808, 0).Int(812, 1).Int(816, 2).Int(820, -7);
    web.Text(824, "down.wav").Text(1080, "up.wav");
    web.Int(1336, 0).Int(1340, 1).Int(1344, 0).Int(1348, 1).Int(1352, 12345);
    web.Text(1356, "/bin/alert '@S'").Text(1612, "/bin/fine").Int(1868, 1).Int(1872, 0);
    web.Int(1876, 5).Int(1880, 4).Int(1884, 2).Int(1888, 0).Int(1892, 0).Int(1896, 0);
    web.Int(1900, 77).Int(1904, 1).Int(1908, 1);
    local.Int(0, 1).Text(4, "sshd").Text(260, "10").Text(280, "Local Machine").Int(536, 1);
    local.Text(540, "Caf\xE9").Int(796, 14).Int(804, 1).Int(808, 1).Int(812, 1).Int(816, 3);
    local.Int(820, 3).Text(824, "Failure.wav").Text(1080, "Available.wav").Int(1880, 1);
    local.Int(1888, 1).Int(1892, 1).Int(1904, 0);
    // Texts that fill their fields, and a time-out that is no number.
    ping.Int(0, 3).Text(4, "0").Text(260, std::string(19, 't')).Text(280, "10.0.0.1");
    ping.Text(540, std::string(255, 'd')).Int(796, 17).Int(816, 0).Int(1904, 3);
    WriteBytes(a / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 3, {web, local, ping}));

    const TextListOutcome out = ExportListText(Home(a.path()), a / "list.toml");
    ASSERT_EQ(out.code, kTextListDone) << out.message;
    const std::string text = ReadText(a / "list.toml");
    EXPECT_EQ(
        text.rfind("# The list of a Tarnwatch monitor, written by Tarnwatch Version 2.20.\n", 0),
        0u);
    EXPECT_NE(text.find("\ndescription = \"\\\"q\\\" \\\\ a\\tb\\nc \xC3\xBC "
                        "\\u0001\\u007F\\u0085 \xE2\x82\xAC\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(std::string("\n\n") + kLocalEntryText + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ntimeout = \"ttttttttttttttttttt\"\n"), std::string::npos);
    EXPECT_EQ(text.find("row"), std::string::npos);
    EXPECT_EQ(text.find("state"), std::string::npos);

    // A standard reader sees the same values.
    const std::string seen = Output(
        "python3 -c 'import sys, tomllib; e = tomllib.load(open(sys.argv[1], \"rb\"))[\"entry\"]; "
        "print(len(e), ascii(e[0][\"description\"]), e[1][\"description\"], e[0][\"sound_spare\"], "
        "e[2][\"frequency\"], e[0][\"failed_command\"])' " +
        a / "list.toml");
    EXPECT_EQ(seen,
              "3 '\"q\" \\\\ a\\tb\\nc \\xfc \\x01\\x7f\\x85 \\u20ac' [67, 97, 102, 233] -7 high "
              "/bin/alert '@S'\n");

    // Into an empty home, and out again.
    const TextListOutcome in = ImportListText(Home(b.path()), a / "list.toml");
    ASSERT_EQ(in.code, kTextListDone) << in.message;
    EXPECT_EQ(in.message.find("kept"), std::string::npos) << in.message;
    ASSERT_EQ(ExportListText(Home(b.path()), b / "again.toml").code, kTextListDone);
    EXPECT_EQ(ReadText(b / "again.toml"), text);
    EntryCollection original, imported;
    (void)LoadListFile(original, Home(a.path()));
    (void)LoadListFile(imported, Home(b.path()));
    ASSERT_EQ(imported.rowCount, 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(std::memcmp(&original.RecordAtRow(row), &imported.RecordAtRow(row),
                              sizeof(ServiceItem)),
                  0)
            << "row " << row;
    }

    // Importing over a list keeps the list it replaces.
    const auto before = ReadBytes(b / "Tarnwatch.ini");
    WriteText(a / "one.toml", "[[entry]]\naddress = \"one.example\"\n");
    const TextListOutcome again = ImportListText(Home(b.path()), a / "one.toml");
    ASSERT_EQ(again.code, kTextListDone) << again.message;
    std::string kept;
    for (const auto& f : std::filesystem::directory_iterator(b.path())) {
        if (f.path().filename().string().rfind("Tarnwatch-replaced-", 0) == 0) kept = f.path();
    }
    ASSERT_FALSE(kept.empty());
    EXPECT_NE(again.message.find(kept), std::string::npos) << again.message;
    EXPECT_EQ(ReadBytes(kept), before);
}

TEST(ListTextTest, ExportOfADamagedListWritesItsWholeEntriesAndChangesNoOtherFile) {
    TempDir home;
    const auto image =
        fakes::ListFileImage(-2.2f, 2, {fakes::TestEntry(0, "80", "a.example", 7, "a")});
    WriteBytes(home / "Tarnwatch.ini", image);
    const TextListOutcome out = ExportListText(Home(home.path()), home / "out.toml");
    EXPECT_EQ(out.code, kTextListPartial);
    EXPECT_NE(out.message.find("is damaged: only its 1 entry read whole"), std::string::npos)
        << out.message;
    const std::string text = ReadText(home / "out.toml");
    EXPECT_EQ(text.find("\n[[entry]]\n"), text.rfind("\n[[entry]]\n"));
    EXPECT_NE(text.find("\naddress = \"a.example\"\n"), std::string::npos);
    // No copy kept, no backup made: only the list and the export are there.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()),
                            std::filesystem::directory_iterator()),
              2);
    EXPECT_EQ(ReadBytes(home / "Tarnwatch.ini"), image);
    EXPECT_EQ(ExportListText(Home(home.path()), home / "Tarnwatch.ini").code, kTextListFailed);
    EXPECT_EQ(ReadBytes(home / "Tarnwatch.ini"), image);
}

TEST(ListTextTest, LeftOutKeysTakeTheTestsSourceAndTheNewEntryValues) {
    EntryCollection entries;
    std::string error;
    ASSERT_TRUE(
        ListFromText("[[entry]]\naddress = \"mail.example\"\ntest = \"smtp\"\n"
                     "[[entry]]\ntest = \"Is_running\"\nsource = \"sshd\"\n"
                     "[[entry]]\naddress = \"10.0.0.1\"\ntest = \"Ping\"\n"
                     "[[entry]]\naddress = \"agent.example\"\ntimeout = 0\n",
                     "list.toml", entries, error))
        << error;
    ASSERT_EQ(entries.rowCount, 4);
    const ServiceItem& mail = entries.RecordAtRow(0);
    EXPECT_EQ(mail.serviceTest, 22);
    EXPECT_EQ(mail.sourceKind, kSourceTcpPort);
    EXPECT_STREQ(mail.source, "25");
    EXPECT_STREQ(mail.timeoutText, "10");
    EXPECT_EQ(mail.attempts, 1);
    EXPECT_EQ(mail.frequency, kFrequencyHigh);
    EXPECT_EQ(mail.alerts.sound.soundMode, kSoundContinuous);
    EXPECT_STREQ(mail.alerts.sound.failedSound, "Failure.wav");
    EXPECT_EQ(mail.state, kStateUntested);
    EXPECT_EQ(entries.RecordAtRow(1).sourceKind, kSourceProcessName);
    EXPECT_STREQ(entries.RecordAtRow(1).address, "Local Machine");
    EXPECT_EQ(entries.RecordAtRow(2).sourceKind, kSourceNone);
    EXPECT_STREQ(entries.RecordAtRow(2).source, "0");
    EXPECT_EQ(entries.RecordAtRow(3).serviceTest, 29);
    EXPECT_STREQ(entries.RecordAtRow(3).source, "700");
    EXPECT_STREQ(entries.RecordAtRow(3).timeoutText, "0");
}

TEST(ListTextTest, BadInputLeavesTheListByteForByteAndNamesTheLine) {
    TempDir home;
    RawRecord r = fakes::TestEntry(0, "80", "kept.example", 7, "kept");
    WriteBytes(home / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 1, {r}));
    const auto listBefore = ReadBytes(home / "Tarnwatch.ini");
    const std::string e = "[[entry]]\naddress = \"h\"\n";
    const std::string d255(255, 'd');
    struct Case {
        std::string text;
        std::string message;  // what the error must contain
    };
    const Case cases[] = {
        {e + "description = \"open\n", "in.toml:3:"},
        {e + "[settings]\nx = 1\n", "in.toml:3: settings: unknown table"},
        {"top = 1\n" + e, "in.toml:1: top: unknown key"},
        {e + "adress = \"h\"\n", "in.toml:3: entry 1, adress: unknown key"},
        {e + "[entry.sound]\nmode = \"once\"\n", "in.toml:3: entry 1, sound: unknown table"},
        {e + e + "attempts = 2\nattempts = 3\n", "in.toml:6:"},
        {e + "description = \"" + d255 + "d\"\n",
         "in.toml:3: entry 1, description: the text is 256 bytes long; at most 255 fit"},
        {e + "timeout = \"" + std::string(20, '9') + "\"\n",
         "in.toml:3: entry 1, timeout: the text is 20 bytes long; at most 19 fit"},
        {e + "attempts = 2147483648\n", "entry 1, attempts: 2147483648 is out of range"},
        {e + "attempts = -1\n", "in.toml:3: entry 1, attempts: -1 is out of range (0 to"},
        {e + "sound_spare = -2147483649\n", "entry 1, sound_spare: -2147483649 is out of range"},
        {e + "attempts = \"3\"\n", "in.toml:3: entry 1, attempts: expected a number, found a text"},
        {e + "enabled = 1\n", "entry 1, enabled: expected true or false, found a number"},
        {e + "test = \"Gopherz\"\n", "entry 1, test: no service test is called \"Gopherz\""},
        {e + "frequency = \"hourly\"\n", "frequency: expected \"on demand\", \"low\", \"medium\""},
        {e + "description = [0x41, 0x100]\n", "in.toml:3: entry 1, description: an array of"},
        {e + e + "\n[[entry]]\ntest = \"Http\"\n", "in.toml:6: entry 3, address: missing"},
        {e + "address = \"\"\n", "in.toml:3:"},  // a key given twice
        {"[[entry]]\ntest = \"Return_value\"\n", "in.toml:1: entry 1, source: missing"},
        {"[[entry]]\ntest = \"Is_running\"\nsource = \"\"\n", "in.toml:3: entry 1, source: empty"},
        {e + "description = \"Caf\xE9\"\n", "in.toml:3:"},
        {"# only a comment\n", "in.toml: holds no [[entry]] table"},
        {std::string("\xCD\xCC\x0C\xC0\0\0\0\0\0\0\0\0", 12),
         "is a list file of the binary format"},
        {e + std::string("description = \"a\0b\"\n", 20), "in.toml:3: holds a NUL byte"},
    };
    for (const Case& c : cases) {
        WriteText(home / "in.toml", c.text);
        const TextListOutcome out = ImportListText(Home(home.path()), home / "in.toml");
        EXPECT_EQ(out.code, kTextListFailed) << c.text;
        EXPECT_NE(out.message.find(c.message), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("nothing was imported"), std::string::npos) << out.message;
    }
    // What is not a text file, or too large a one.
    mkfifo((home / "fifo").c_str(), 0600);
    std::filesystem::create_directory(home / "folder");
    WriteText(home / "huge.toml", "");
    std::filesystem::resize_file(home / "huge.toml", (16u << 20) + 1);
    const std::pair<const char*, const char*> files[] = {
        {"fifo", "is not a regular file"},
        {"folder", "is a directory"},
        {"huge.toml", "is 16777217 bytes; a list's text may have at most 16 MiB"},
        {"missing.toml", "No such file"},
    };
    for (const auto& [name, message] : files) {
        const TextListOutcome out = ImportListText(Home(home.path()), home / name);
        EXPECT_EQ(out.code, kTextListFailed);
        EXPECT_NE(out.message.find(home / name + ": " + message), std::string::npos) << out.message;
    }
    EXPECT_EQ(ReadBytes(home / "Tarnwatch.ini"), listBefore);
    for (const auto& f : std::filesystem::directory_iterator(home.path())) {
        EXPECT_EQ(f.path().filename().string().find("replaced"), std::string::npos) << f.path();
    }

    // Each limit itself is taken.
    EntryCollection entries;
    std::string error;
    EXPECT_TRUE(ListFromText(e + "description = \"" + d255 + "\"\ntimeout = \"" +
                                 std::string(19, '9') + "\"\nattempts = 2147483647\n" +
                                 "sound_spare = -2147483648\n",
                             "in.toml", entries, error))
        << error;
    EXPECT_TRUE(ListFromText(e + "attempts = 0\n", "in.toml", entries, error)) << error;
}

TEST(ListTextTest, AtMostTheStatedNumberOfEntries) {
    std::string text;
    for (int i = 0; i < kMaxTextEntries; ++i) text += "[[entry]]\naddress = \"h\"\n";
    EntryCollection entries;
    std::string error;
    ASSERT_TRUE(ListFromText(text, "big.toml", entries, error)) << error;
    EXPECT_EQ(entries.rowCount, 20000);
    text += "[[entry]]\naddress = \"h\"\n";
    EXPECT_FALSE(ListFromText(text, "big.toml", entries, error));
    EXPECT_EQ(error, "big.toml: holds 20001 entries; at most 20000 are taken");
    EXPECT_EQ(entries.rowCount, 0);
}

}  // namespace
}  // namespace tarnwatch

// The profile: every value under its own name, read within its range else as
// its default, the address slots and the autostart file.
#include "shell/ProfileStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "fakes/TempDir.h"
#include "res/StringTable.h"
#include "shell/Autostart.h"

namespace tarnwatch {
namespace {

class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(dir.path()));
    }
    std::string ProfileFile() const { return dir / "Quillon/Tarnwatch.conf"; }
    void WriteProfile(const std::string& text) {
        std::filesystem::create_directories(dir / "Quillon");
        std::ofstream(ProfileFile()) << "[Options]\n" << text;
    }
    fakes::TempDir dir;
    fakes::ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    ProfileStore store;
};

// Every value of the profile, written out by hand: its name, its default, the
// top of its documented range (0 where none is documented) and where it lives
// in the settings. None of it comes from the program's own table.
using IntField = std::int32_t& (*)(GlobalSettings&);
using TextField = char* (*)(GlobalSettings&);
struct IntName {
    const char* name;
    std::int32_t def;
    std::int32_t top;
    IntField field;
    std::int32_t bottom = 0;
};
struct TextName {
    const char* name;
    const char* def;
    TextField field;
};

#define INT_NAME(name, def, top, member)                                            \
    IntName {                                                                       \
        name, def, top, [](GlobalSettings& s) -> std::int32_t& { return s.member; } \
    }
#define INT_NAME_FROM(name, def, bottom, top, member)                                       \
    IntName {                                                                               \
        name, def, top, [](GlobalSettings& s) -> std::int32_t& { return s.member; }, bottom \
    }
#define TEXT_NAME(name, def, member)                                   \
    TextName {                                                         \
        name, def, [](GlobalSettings& s) -> char* { return s.member; } \
    }

const IntName kIntNames[] = {
    INT_NAME("Minimize", 1, 1, minimize),
    INT_NAME("Startup", 1, 1, startup),
    INT_NAME("DisableClose", 1, 1, disableClose),
    INT_NAME("amove", 1, 1, autoMove),
    INT_NAME("adisable", 0, 1, autoDisable),
    INT_NAME("restore", 1, 1, restore),
    INT_NAME("LowNetUpdate", 0, 24, lowInterval),
    INT_NAME("MedNedUpdate", 0, 48, mediumInterval),
    INT_NAME("HighNetUpdate", 0, 60, highInterval),
    INT_NAME("AddressColumn", 0, 7, columnPosition[0]),
    INT_NAME("DescColumn", 1, 7, columnPosition[1]),
    INT_NAME("SourceColumn", 2, 7, columnPosition[2]),
    INT_NAME("ServiceTestColumn", 3, 7, columnPosition[3]),
    INT_NAME("StatusColumn", 4, 7, columnPosition[4]),
    INT_NAME("AttemptColumn", 5, 7, columnPosition[5]),
    INT_NAME("TimeoutColumn", 6, 7, columnPosition[6]),
    INT_NAME("FreqColumn", 7, 7, columnPosition[7]),
    INT_NAME("AddressWidth", 120, 0, columnWidth[0]),
    INT_NAME("DescWidth", 80, 0, columnWidth[1]),
    INT_NAME("SourceWidth", 90, 0, columnWidth[2]),
    INT_NAME("ServiceTestWidth", 80, 0, columnWidth[3]),
    INT_NAME("StatusWidth", 100, 0, columnWidth[4]),
    INT_NAME("AttemptWidth", 80, 0, columnWidth[5]),
    INT_NAME("TimeoutWidth", 50, 0, columnWidth[6]),
    INT_NAME("FreqWidth", 50, 0, columnWidth[7]),
    INT_NAME("SoundAlertUnavailable", 1, 1, alerts.sound.soundOnUnavailable),
    INT_NAME("SoundAlertTimedout", 1, 1, alerts.sound.soundOnTimedOut),
    INT_NAME("SoundAlertUnresolved", 1, 1, alerts.sound.soundOnUnresolved),
    INT_NAME("SoundUnavailable", 3, 3, alerts.sound.soundMode),
    INT_NAME("BatchAlertUnavailable", 0, 1, alerts.batch.batchOnUnavailable),
    INT_NAME("BatchAlertTimedout", 0, 1, alerts.batch.batchOnTimedOut),
    INT_NAME("BatchAlertUnresolved", 0, 1, alerts.batch.batchOnUnresolved),
    INT_NAME("ExeUnavailable", 0, 2, alerts.batch.batchMode),
    INT_NAME("RunWait", 0, 1, alerts.batch.failedCommandWait),
    INT_NAME("Run2Wait", 0, 1, alerts.batch.okAgainCommandWait),
    INT_NAME("n_IP_List", 1, 10, internetAddressCount),
    INT_NAME("iSoundUnavailable", 3, 3, internetAlerts.sound.soundMode),
    INT_NAME("iExeUnavailable", 0, 2, internetAlerts.batch.batchMode),
    INT_NAME("iRunWait", 0, 1, internetAlerts.batch.failedCommandWait),
    INT_NAME("iRun2Wait", 0, 1, internetAlerts.batch.okAgainCommandWait),
    INT_NAME("iMessageBox", 0, 2, internetAlerts.messageBoxMode),
    INT_NAME("iMessageBoxAvail", 0, 1, internetAlerts.messageBoxWhenAvailable),
    INT_NAME("CommandTimeLimit", 300, 86400, commandTimeLimit),
    INT_NAME_FROM("ParallelTests", 1, 1, 256, parallelTests),
    INT_NAME("Notify", 1, 1, notify),
    INT_NAME_FROM("AlertsPausedUntil", 0, -1, INT32_MAX, alertsPausedUntil),
};

const TextName kTextNames[] = {
    TEXT_NAME("WaveUnavailable", "Failure.wav", alerts.sound.failedSound),
    TEXT_NAME("Wave2Unavailable", "Available.wav", alerts.sound.okAgainSound),
    TEXT_NAME("RunUnavailable", "", alerts.batch.failedCommand),
    TEXT_NAME("Run2Unavailable", "", alerts.batch.okAgainCommand),
    TEXT_NAME("IP_List0", "www.debian.org", internetAddresses[0]),
    TEXT_NAME("IP_List1", "", internetAddresses[1]),
    TEXT_NAME("IP_List2", "", internetAddresses[2]),
    TEXT_NAME("IP_List3", "", internetAddresses[3]),
    TEXT_NAME("IP_List4", "", internetAddresses[4]),
    TEXT_NAME("IP_List5", "", internetAddresses[5]),
    TEXT_NAME("IP_List6", "", internetAddresses[6]),
    TEXT_NAME("IP_List7", "", internetAddresses[7]),
    TEXT_NAME("IP_List8", "", internetAddresses[8]),
    TEXT_NAME("IP_List9", "", internetAddresses[9]),
    TEXT_NAME("iWaveUnavailable", "Failure.wav", internetAlerts.sound.failedSound),
    TEXT_NAME("iWave2Unavailable", "Available.wav", internetAlerts.sound.okAgainSound),
    TEXT_NAME("iRunUnavailable", "", internetAlerts.batch.failedCommand),
    TEXT_NAME("iRun2Unavailable", "", internetAlerts.batch.okAgainCommand),
};

#undef INT_NAME
#undef TEXT_NAME

// A text sample of its own for the text value `i`; some need quoting.
std::string TextSample(std::size_t i) {
    return i % 3 == 0 ? "say \"down\", \\now " + std::to_string(i)
                      : "t" + std::to_string(i) + ".wav";
}

// The [Options] section of an INI file as a desktop's INI reader sees it:
// "name=value" lines, a value in double quotes taken literally apart from
// backslash escapes.
std::map<std::string, std::string> ReadOptionsSection(const std::string& file) {
    std::map<std::string, std::string> values;
    std::istringstream in(fakes::ReadText(file));
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (section != "[Options]" || eq == std::string::npos) continue;
        std::string value;
        for (std::size_t i = eq + 1; i < line.size(); ++i) {
            if (line[i] == '"') continue;
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        values[line.substr(0, eq)] = value;
    }
    return values;
}

// Each name holds its own value in the file: a value written under another
// value's name, or missing, shows up here.
TEST_F(ProfileStoreTest, EveryValueIsWrittenUnderItsOwnName) {
    GlobalSettings s = DefaultSettings();
    std::map<std::string, std::string> expected;
    std::int32_t sample = 1000;
    for (const IntName& n : kIntNames) {
        n.field(s) = ++sample;  // no range on the way out: every value tells
        expected[n.name] = std::to_string(sample);
    }
    for (std::size_t i = 0; i < std::size(kTextNames); ++i) {
        CopyText(kTextNames[i].field(s), kTextSize, TextSample(i).c_str());
        expected[kTextNames[i].name] = TextSample(i);
    }
    store.WriteListAndAlertSettings(s);
    store.WriteRunOptions(s, s.startup);
    std::map<std::string, std::string> file = ReadOptionsSection(ProfileFile());
    for (const auto& [name, value] : expected) EXPECT_EQ(file[name], value) << name;
    EXPECT_EQ(file.size(), expected.size());
}

// Each value read at the top of its range, at 0, one past either end, and
// missing: out of range or missing reads as its default, one value at a time.
// A text with commas is still one text, quoted or not.
TEST_F(ProfileStoreTest, EveryValueIsReadWithinItsRangeElseAsItsDefault) {
    enum Case { kTop, kPastTop, kZero, kBelowZero, kMissing };
    for (Case c : {kTop, kPastTop, kZero, kBelowZero, kMissing}) {
        std::string text;
        for (std::size_t i = 0; i < std::size(kIntNames); ++i) {
            const IntName& n = kIntNames[i];
            const bool column = std::string(n.name).ends_with("Column");
            // In 64 bits: one past the top of a value whose top is the
            // largest int32 is a number the profile may well hold.
            std::int64_t v = c == kTop         ? n.top
                             : c == kPastTop   ? std::int64_t{n.top} + 1
                             : c == kZero      ? 0
                             : c == kBelowZero ? n.bottom - 1
                                               : 0;
            if (column && c == kTop) v = 16 - static_cast<std::int32_t>(i);  // 7 ... 0
            if (column && c == kZero) continue;                              // all at 0 is no order
            if (n.top == 0 && (c == kTop || c == kPastTop)) v = 300 + static_cast<std::int32_t>(i);
            if (c != kMissing) text += std::string(n.name) + "=" + std::to_string(v) + "\n";
        }
        // The first quoted, the third unquoted: commas in both.
        const auto textAt = [](std::size_t i) {
            return i == 0 ? std::string("a, b.wav") : i == 2 ? "x, y" : "t" + std::to_string(i);
        };
        for (std::size_t i = 0; c == kTop && i < std::size(kTextNames); ++i) {
            const std::string v = i == 0 ? "\"" + textAt(i) + "\"" : textAt(i);
            text += std::string(kTextNames[i].name) + "=" + v + "\n";
        }
        WriteProfile(text);
        GlobalSettings r = DefaultSettings();
        r.minimize = 9;  // nothing of the record read into stays
        ProfileStore(ProfileStore::Autostart::kLeaveAlone).ReadSettings(r);
        for (std::size_t i = 0; i < std::size(kIntNames); ++i) {
            const IntName& n = kIntNames[i];
            const bool column = std::string(n.name).ends_with("Column");
            std::int32_t want = c == kTop ? n.top : c == kZero && n.bottom <= 0 ? 0 : n.def;
            if (column && c == kTop) want = 16 - static_cast<std::int32_t>(i);
            if (column && c == kZero) want = n.def;
            if (n.top == 0 && c == kTop) want = 300 + static_cast<std::int32_t>(i);
            if (n.top == 0 && c == kPastTop) want = 300 + static_cast<std::int32_t>(i);
            EXPECT_EQ(n.field(r), want) << n.name << " in case " << c;
        }
        for (std::size_t i = 0; i < std::size(kTextNames); ++i) {
            const TextName& n = kTextNames[i];
            std::string want = c == kTop ? textAt(i) : n.def;
            // With no addresses in use every slot is blanked.
            if (c == kZero && std::string(n.name).starts_with("IP_List")) want = "";
            EXPECT_EQ(n.field(r), want) << n.name << " in case " << c;
        }
    }
}

// A text longer than its field is cut between characters: a two-byte
// character ending on the field's last byte stays, one byte further on it goes.
TEST_F(ProfileStoreTest, ALongTextIsCutBetweenCharacters) {
    const std::string e = "\xC3\xA9";
    WriteProfile("RunUnavailable=" + std::string(253, 'a') + e +
                 "\nRun2Unavailable=" + std::string(254, 'a') + e + "\n");
    GlobalSettings s;
    store.ReadSettings(s);
    EXPECT_EQ(std::string(s.alerts.batch.failedCommand), std::string(253, 'a') + e);
    EXPECT_EQ(std::string(s.alerts.batch.okAgainCommand), std::string(254, 'a'));
}

TEST_F(ProfileStoreTest, AddressSlotsFromTheCountOnAreBlanked) {
    WriteProfile("n_IP_List=3\nIP_List0=a\nIP_List1=b\nIP_List2=c\nIP_List5=stale\n");
    GlobalSettings s;
    store.ReadSettings(s);
    EXPECT_EQ(s.internetAddressCount, 3);
    EXPECT_STREQ(s.internetAddresses[2], "c");
    EXPECT_STREQ(s.internetAddresses[5], "");
    store.WriteListAndAlertSettings(s);
    QSettings check(QString::fromStdString(ProfileFile()), QSettings::NativeFormat);
    EXPECT_EQ(check.value("Options/IP_List5").toString(), "");
    EXPECT_EQ(check.value("Options/n_IP_List").toInt(), 3);
}

TEST_F(ProfileStoreTest, AutostartFileFollowsAChangedStartupOption) {
    const std::string file = ProfileStore::AutostartFile().toStdString();
    EXPECT_EQ(file, dir / "autostart/Tarnwatch.desktop");
    GlobalSettings s = DefaultSettings();
    store.WriteRunOptions(s, 1);  // unchanged: nothing created
    EXPECT_FALSE(std::filesystem::exists(file));
    s.startup = 0;
    store.WriteRunOptions(s, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
    s.startup = 1;
    store.WriteRunOptions(s, 0);
    ASSERT_TRUE(std::filesystem::exists(file));
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=\""), std::string::npos);
    EXPECT_NE(text.find("Type=Application"), std::string::npos);
    s.startup = 0;
    store.WriteRunOptions(s, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// The Exec value read the way desktops read it: string escapes first, then
// the quoted argument, then "%%".
std::vector<std::string> ExecArguments(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        const char next = value[++i];
        unescaped += next == 's'   ? ' '
                     : next == 'n' ? '\n'
                     : next == 't' ? '\t'
                     : next == 'r' ? '\r'
                                   : next;
    }
    std::vector<std::string> args;
    std::string arg;
    bool quoted = false, inArg = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size()) {
            arg += unescaped[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inArg = true;
        } else if (c == ' ' && !quoted) {
            if (inArg) args.push_back(arg);
            arg.clear();
            inArg = false;
        } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
            arg += '%';
            ++i;
            inArg = true;
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg) args.push_back(arg);
    return args;
}

TEST_F(ProfileStoreTest, AutostartFileStartsProgramsWithEveryReservedCharacter) {
    const std::string file = ProfileStore::AutostartFile().toStdString();
    const std::string names[] = {
        "/opt/tw/100%/tarnwatch",        "/opt/tw/%u %f/tarnwatch",
        "/opt/tw/say \"hi\"/tarnwatch",  "/opt/tw/it's/tarnwatch",
        "/opt/tw/$HOME/tarnwatch",       "/opt/tw/back\\slash/tarnwatch",
        "/opt/tw/two  blanks/tarnwatch", "/opt/tw/`id`;&|<>~*?#()/tarnwatch",
        "/opt/tw/\\\"$%%`/tarnwatch",
    };
    for (const std::string& program : names) {
        ASSERT_TRUE(WriteAutostartFile(QString::fromStdString(program))) << program;
        const std::string text = fakes::ReadText(file);
        const std::size_t at = text.find("\nExec=");
        ASSERT_NE(at, std::string::npos) << text;
        const std::string value = text.substr(at + 6, text.find('\n', at + 1) - at - 6);
        EXPECT_EQ(ExecArguments(value), std::vector<std::string>{program}) << value;
        const std::string check = "desktop-file-validate '" + file + "' 2>&1";
        FILE* validate = popen(check.c_str(), "r");
        ASSERT_NE(validate, nullptr);
        std::string said;
        char buf[256];
        while (fgets(buf, sizeof buf, validate)) said += buf;
        const int status = pclose(validate);
        EXPECT_EQ(status, 0) << program << "\n" << said;
        EXPECT_EQ(said.find("error"), std::string::npos) << program << "\n" << said;
    }
    EXPECT_EQ(DesktopExecValue("/a b/%c$"), "\"/a b/%%c\\\\$\"");
}

TEST_F(ProfileStoreTest, StartupBoxAndAutostartFileNeverDisagree) {
    const std::string file = ProfileStore::AutostartFile().toStdString();
    GlobalSettings s = DefaultSettings();
    // Headless runs leave the file alone, even on a first start.
    ProfileStore(ProfileStore::Autostart::kLeaveAlone).ReadSettings(s);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(s.startup, 1);
    // The first start makes the file the ticked box promises.
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 1);
    ASSERT_TRUE(std::filesystem::exists(file));
    // Removed through the desktop's settings: the next start shows it off
    // and does not bring it back.
    std::filesystem::remove(file);
    s.startup = 1;
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    // Switched off in place by the desktop, or switched on again there.
    std::filesystem::create_directories(dir / "autostart");
    std::ofstream(file) << "[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n";
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 0);
    std::ofstream(file) << "[Desktop Entry]\nType=Application\nExec=x\n"
                           "X-GNOME-Autostart-enabled=false\n";
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 0);
    std::ofstream(file) << "[Desktop Entry]\nType=Application\nExec=x\n";
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 1);
}

TEST_F(ProfileStoreTest, FirstStartThatCannotWriteTheFileShowsTheBoxClear) {
    // Something that is no directory where the autostart folder belongs.
    std::ofstream(dir / "autostart") << "x";
    GlobalSettings s = DefaultSettings();
    store.ReadSettings(s);
    EXPECT_EQ(s.startup, 0);
}

}  // namespace
}  // namespace tarnwatch

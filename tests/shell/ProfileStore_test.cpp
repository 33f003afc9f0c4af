// The profile: defaults on a first start, damaged values, the address slots,
// a round trip and the autostart file.
#include "shell/ProfileStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/SettingsTable.h"
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

TEST_F(ProfileStoreTest, FirstStartGivesTheDefaults) {
    GlobalSettings s;
    s.minimize = 0;
    s.columnWidth[0] = 1;
    store.ReadSettings(s);
    EXPECT_EQ(s.minimize, 1);
    EXPECT_EQ(s.startup, 1);
    EXPECT_EQ(s.disableClose, 1);
    EXPECT_EQ(s.autoMove, 1);
    EXPECT_EQ(s.autoDisable, 0);
    EXPECT_EQ(s.highInterval, 0);
    EXPECT_EQ(s.columnWidth, (std::array<std::int32_t, 8>{120, 80, 90, 80, 100, 80, 50, 50}));
    EXPECT_EQ(s.columnPosition, (std::array<std::int32_t, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(s.alerts.sound.soundMode, 3);
    EXPECT_STREQ(s.alerts.sound.okAgainSound, "Available.wav");
    EXPECT_EQ(s.internetAddressCount, 1);
    EXPECT_STREQ(s.internetAddresses[0], kDefaultInternetAddress);
    EXPECT_EQ(s.internetAlerts.sound.soundMode, 3);
}

TEST_F(ProfileStoreTest, DamagedValuesFallBackOneByOne) {
    WriteProfile(
        "Minimize=abc\nHighNetUpdate=61\nLowNetUpdate=24\nMedNedUpdate=-1\n"
        "AddressColumn=4\nStatusColumn=4\nAddressWidth=-5\nDescWidth=140\n"
        "n_IP_List=11\nSoundUnavailable=9\nExeUnavailable=2\n"
        "WaveUnavailable=\"a, b.wav\"\nRunUnavailable=x, y\n"
        "IP_List0=one.example\n");
    GlobalSettings s;
    store.ReadSettings(s);
    EXPECT_EQ(s.minimize, 1);
    EXPECT_EQ(s.highInterval, 0);
    EXPECT_EQ(s.lowInterval, 24);
    EXPECT_EQ(s.mediumInterval, 0);
    // Two columns claiming position 4 is no permutation: default order.
    EXPECT_EQ(s.columnPosition, (std::array<std::int32_t, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(s.columnWidth[kColAddress], 120);
    EXPECT_EQ(s.columnWidth[kColDescription], 140);
    EXPECT_EQ(s.internetAddressCount, 1);
    EXPECT_STREQ(s.internetAddresses[0], "one.example");
    EXPECT_EQ(s.alerts.sound.soundMode, 3);
    EXPECT_EQ(s.alerts.batch.batchMode, 2);
    EXPECT_STREQ(s.alerts.sound.failedSound, "a, b.wav");
    EXPECT_STREQ(s.alerts.batch.failedCommand, "x, y");
}

TEST_F(ProfileStoreTest, CommandTimeLimitIsSecondsUpToADayAndFiveMinutesByDefault) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", 300},
        {"CommandTimeLimit=0\n", 0},
        {"CommandTimeLimit=-1\n", 300},
        {"CommandTimeLimit=86400\n", 86400},
        {"CommandTimeLimit=86401\n", 300},
    };
    for (const auto& [text, seconds] : cases) {
        WriteProfile(text);
        GlobalSettings s;
        store.ReadSettings(s);
        EXPECT_EQ(s.commandTimeLimit, seconds) << text;
    }
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

TEST_F(ProfileStoreTest, RoundTripKeepsEveryValue) {
    GlobalSettings s = DefaultSettings();
    s.columnPosition = {7, 6, 5, 4, 3, 2, 1, 0};
    s.columnWidth[3] = 222;
    CopyText(s.alerts.batch.failedCommand, "notify-send \"down: @A\", now");
    s.alerts.batch.batchOnTimedOut = 1;
    s.internetAlerts.messageBoxMode = 2;
    CopyText(s.internetAlerts.sound.okAgainSound, "back.wav");
    s.highInterval = 5;
    s.autoDisable = 1;
    store.WriteListAndAlertSettings(s);
    store.WriteRunOptions(s, s.startup);
    GlobalSettings r;
    r.columnPosition = {0, 1, 2, 3, 4, 5, 6, 7};
    store.ReadSettings(r);
    EXPECT_EQ(r.columnPosition, s.columnPosition);
    EXPECT_EQ(r.columnWidth[3], 222);
    EXPECT_STREQ(r.alerts.batch.failedCommand, "notify-send \"down: @A\", now");
    EXPECT_EQ(r.alerts.batch.batchOnTimedOut, 1);
    EXPECT_EQ(r.internetAlerts.messageBoxMode, 2);
    EXPECT_STREQ(r.internetAlerts.sound.okAgainSound, "back.wav");
    EXPECT_EQ(r.highInterval, 5);
    EXPECT_EQ(r.autoDisable, 1);
}

// Every value of the settings table, each set away from its default, comes
// back as written: a value the read or the write forgets shows up here.
TEST_F(ProfileStoreTest, EveryValueOfTheTableRoundTrips) {
    const GlobalSettings def = DefaultSettings();
    GlobalSettings s = def;
    for (const SettingDef& d : SettingsTable()) {
        if (d.kind == SettingKind::kInt) {
            *d.intField(s) = IntValue(d, def) == d.high ? d.low : d.high;
        } else {
            std::string text = "v";
            text += std::to_string(d.nameId);
            text += ", \"quoted\" \\ end";
            CopyText(d.textField(s), kTextSize, text.c_str());
        }
    }
    s.columnPosition = {7, 6, 5, 4, 3, 2, 1, 0};  // a permutation, unlike all-high
    store.WriteListAndAlertSettings(s);
    store.WriteRunOptions(s, s.startup);
    GlobalSettings r = def;
    store.ReadSettings(r);
    for (const SettingDef& d : SettingsTable()) {
        if (d.kind == SettingKind::kInt) {
            EXPECT_EQ(IntValue(d, r), IntValue(d, s)) << LoadString(d.nameId);
        } else {
            EXPECT_STREQ(TextValue(d, r), TextValue(d, s)) << LoadString(d.nameId);
            EXPECT_STRNE(TextValue(d, r), TextValue(d, def)) << LoadString(d.nameId);
        }
    }
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

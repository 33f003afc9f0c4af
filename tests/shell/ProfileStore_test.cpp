// The profile: defaults on a first start, damaged values, the address slots,
// a round trip and the autostart file.
#include "shell/ProfileStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <filesystem>
#include <fstream>

#include "engine/SettingsTable.h"
#include "fakes/TempDir.h"
#include "res/StringTable.h"

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

}  // namespace
}  // namespace tarnwatch

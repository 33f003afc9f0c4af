// The Sound and Batch pages: captions, labels and what can be chosen for each
// kind of entry and in the Global Options form; Play, Browse and Test.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "dialogs/CAlertPage.h"
#include "dialogs/CBatchAlert.h"
#include "dialogs/CGlobalPage.h"
#include "dialogs/DialogDriver.h"
#include "dialogs/EntrySheet.h"
#include "fakes/TempDir.h"

namespace tarnwatch::testing {
namespace {

enum Page { kGeneral, kAlertSettings, kSound, kBatch };

const char* const kSoundFiles[] = {"failedSoundEdit",          "browseFailedSoundButton",
                                   "playFailedSoundButton",    "okAgainSoundEdit",
                                   "browseOkAgainSoundButton", "playOkAgainSoundButton"};
const char* const kSoundModes[] = {"noSoundRadio", "playOnceRadio", "playEveryFailureRadio",
                                   "playContinuousRadio"};
const char* const kBatchFiles[] = {"failedCommandEdit",        "browseFailedCommandButton",
                                   "testFailedCommandButton",  "failedCommandWaitCheck",
                                   "okAgainCommandEdit",       "browseOkAgainCommandButton",
                                   "testOkAgainCommandButton", "okAgainCommandWaitCheck"};
const char* const kBatchModes[] = {"noActionRadio", "runOnceRadio", "runEveryFailureRadio"};

// An entry with its own alert settings, no failure box ticked, a mode other
// than none on both halves.
ServiceItem OwnAlerts(int serviceTest, std::int32_t kind, const char* source) {
    ServiceItem e = NewEntryTemplate();
    e.serviceTest = serviceTest;
    e.sourceKind = kind;
    CopyText(e.source, source);
    CopyText(e.address, "host.example");
    e.soundUseGlobal = 0;
    e.batchUseGlobal = 0;
    e.alerts.sound.soundOnUnavailable = 0;
    e.alerts.sound.soundOnTimedOut = 0;
    e.alerts.sound.soundOnUnresolved = 0;
    e.alerts.sound.soundMode = kSoundOnce;
    e.alerts.batch.batchMode = kBatchOnce;
    return e;
}

class AlertPagesDialogTest : public ::testing::Test {
protected:
    void Open(const ServiceItem& e) {
        entrySheet = std::make_unique<EntrySheet>(e, d.services);
        d.sheet = &entrySheet->Sheet();
        d.sheet->open();
    }
    // Every one of `names` is enabled (or every one disabled).
    template <std::size_t N>
    void ExpectAll(const char* const (&names)[N], bool enabled) {
        for (const char* name : names) EXPECT_EQ(d.Enabled(name), enabled) << name;
    }

    DialogDriver d;
    std::unique_ptr<EntrySheet> entrySheet;
};

TEST_F(AlertPagesDialogTest, TcpEntryOffersEveryFailureAndActionsFollowTheBoxesAndTheMode) {
    Open(OwnAlerts(7, kSourceTcpPort, "80"));
    d.ShowPage(kSound);
    EXPECT_EQ(d.Text("soundUnavailableCheck"), "Enabled for unavailable services");
    EXPECT_EQ(d.Text("soundTimedOutCheck"), "Enabled for timed out services");
    EXPECT_EQ(d.Text("soundUnresolvedCheck"), "Enabled for unresolved services");
    EXPECT_EQ(d.LabelText("failedSoundLabel"), "Service failed sound");
    EXPECT_EQ(d.LabelText("okAgainSoundLabel"), "Service ok again sound");
    // Nothing ticked: nothing to alert on.
    ExpectAll(kSoundModes, false);
    ExpectAll(kSoundFiles, false);
    d.Click("soundUnresolvedCheck");
    ExpectAll(kSoundModes, true);
    ExpectAll(kSoundFiles, true);
    d.Click("noSoundRadio");
    ExpectAll(kSoundModes, true);
    ExpectAll(kSoundFiles, false);
    EXPECT_EQ(entrySheet->Sound()->sound.soundOnUnresolved, 1);
    EXPECT_EQ(entrySheet->Sound()->sound.soundMode, kSoundNone);

    d.ShowPage(kBatch);
    EXPECT_EQ(d.LabelText("failedCommandLabel"), "Service failed batch/executable");
    EXPECT_EQ(d.LabelText("okAgainCommandLabel"), "Service ok again batch/executable");
    ExpectAll(kBatchModes, false);
    d.Click("batchTimedOutCheck");
    ExpectAll(kBatchModes, true);
    ExpectAll(kBatchFiles, true);
}

// The General page's kind, as it stands when the alert page is shown, sets
// the choices: a process can only be "not running".
TEST_F(AlertPagesDialogTest, IsRunningOffersOneBoxWithItsOwnWords) {
    ServiceItem e = OwnAlerts(7, kSourceTcpPort, "80");
    e.alerts.sound.soundOnUnavailable = 1;
    Open(e);
    d.ChooseTest(kServiceTestIsRunning);
    d.ShowPage(kSound);
    EXPECT_EQ(d.Text("soundUnavailableCheck"), "Enabled for not running services");
    EXPECT_TRUE(d.Find<QWidget>("soundUnavailableCheck")->isVisible());
    EXPECT_FALSE(d.Find<QWidget>("soundTimedOutCheck")->isVisible());
    EXPECT_FALSE(d.Find<QWidget>("soundUnresolvedCheck")->isVisible());
    EXPECT_EQ(d.LabelText("failedSoundLabel"), "Service not running sound");
    EXPECT_EQ(d.LabelText("okAgainSoundLabel"), "Service running again sound");
    ExpectAll(kSoundModes, true);
    d.Click("soundUnavailableCheck");
    ExpectAll(kSoundModes, false);
    ExpectAll(kSoundFiles, false);

    d.ShowPage(kBatch);
    EXPECT_EQ(d.LabelText("failedCommandLabel"), "Service not running batch/executable");
    EXPECT_EQ(d.LabelText("okAgainCommandLabel"), "Service running again batch/executable");

    // A Ping entry fails like a TCP one: the hidden boxes come back.
    d.ShowPage(kGeneral);
    d.ChooseTest(kServiceTestPing);
    d.ShowPage(kSound);
    EXPECT_EQ(d.Text("soundUnavailableCheck"), "Enabled for unavailable services");
    EXPECT_TRUE(d.Find<QWidget>("soundTimedOutCheck")->isVisible());
    EXPECT_TRUE(d.Find<QWidget>("soundUnresolvedCheck")->isEnabled());
    EXPECT_EQ(d.LabelText("okAgainSoundLabel"), "Service ok again sound");
    ExpectAll(kSoundModes, false);
    d.Click("soundTimedOutCheck");
    ExpectAll(kSoundModes, true);
}

// A program never ends "unresolved" for the batch page, though the sound
// page still counts that box.
TEST_F(AlertPagesDialogTest, ReturnValueUnresolvedAloneEnablesSoundButNotBatch) {
    ServiceItem e = OwnAlerts(kServiceTestReturnValue, kSourceProgram, "/opt/check.sh");
    e.alerts.sound.soundOnUnresolved = 1;
    e.alerts.batch.batchOnUnresolved = 1;
    Open(e);
    d.ShowPage(kSound);
    EXPECT_EQ(d.Text("soundUnavailableCheck"), "Enabled for failed services");
    EXPECT_EQ(d.LabelText("okAgainSoundLabel"), "Service succeeded sound");
    ExpectAll(kSoundModes, true);
    ExpectAll(kSoundFiles, true);

    d.ShowPage(kBatch);
    EXPECT_EQ(d.Text("batchUnavailableCheck"), "Enabled for failed services");
    EXPECT_EQ(d.LabelText("failedCommandLabel"), "Service failed batch/executable");
    EXPECT_EQ(d.LabelText("okAgainCommandLabel"), "Service succeeded batch/executable");
    EXPECT_TRUE(d.Enabled("batchUnresolvedCheck"));
    ExpectAll(kBatchModes, false);
    ExpectAll(kBatchFiles, false);
    d.Click("batchUnavailableCheck");
    ExpectAll(kBatchModes, true);
}

TEST_F(AlertPagesDialogTest, UseGlobalGreysThePageOnceTheUserMovesToIt) {
    ServiceItem e = OwnAlerts(7, kSourceTcpPort, "80");
    e.alerts.sound.soundOnUnavailable = 1;
    Open(e);
    d.ShowPage(kAlertSettings);
    EXPECT_TRUE(d.Checked("soundIndependentRadio"));
    d.Click("soundUseGlobalRadio");
    d.ShowPage(kSound);
    for (const char* box : {"soundUnavailableCheck", "soundTimedOutCheck", "soundUnresolvedCheck"})
        EXPECT_FALSE(d.Enabled(box)) << box;
    ExpectAll(kSoundModes, false);
    ExpectAll(kSoundFiles, false);
    // The batch half keeps its own settings.
    d.ShowPage(kBatch);
    EXPECT_TRUE(d.Enabled("batchUnavailableCheck"));

    d.ShowPage(kAlertSettings);
    EXPECT_TRUE(d.Checked("soundUseGlobalRadio"));
    d.Click("soundIndependentRadio");
    d.ShowPage(kSound);
    EXPECT_TRUE(d.Enabled("soundTimedOutCheck"));
    ExpectAll(kSoundModes, true);
}

// The pages as the Global Options sheet holds them: no links, no kind.
TEST_F(AlertPagesDialogTest, GlobalOptionsFormOffersEveryFailureAndFollowsOnlyTheMode) {
    CAdvancedDlg sheet(QStringLiteral("Global Options"));
    auto* sound = new CAlertPage(d.services);
    auto* batch = new CBatchAlert(d.services);
    sound->sound = DefaultSoundAlert();
    sound->sound.soundOnUnavailable = sound->sound.soundOnTimedOut = 0;
    sound->sound.soundOnUnresolved = 0;
    sound->sound.soundMode = kSoundNone;
    sheet.AddPage(sound, sound, QStringLiteral("Sound Alerts"));
    sheet.AddPage(batch, batch, QStringLiteral("Batch Alerts"));
    d.sheet = &sheet;
    sheet.open();

    EXPECT_EQ(d.Text("soundUnavailableCheck"), "Enabled for unavailable/failed services");
    EXPECT_EQ(d.Text("soundTimedOutCheck"), "Enabled for timed out services");
    EXPECT_EQ(d.Text("soundUnresolvedCheck"), "Enabled for unresolved services");
    EXPECT_EQ(d.LabelText("failedSoundLabel"), "Service failed sound:");
    EXPECT_EQ(d.LabelText("okAgainSoundLabel"), "Service ok again sound:");
    ExpectAll(kSoundModes, true);
    ExpectAll(kSoundFiles, false);
    d.Click("playEveryFailureRadio");
    ExpectAll(kSoundFiles, true);
    d.Click("soundTimedOutCheck");
    d.Click("soundTimedOutCheck");
    ExpectAll(kSoundModes, true);

    d.ShowPage(1);
    EXPECT_EQ(d.Text("batchUnresolvedCheck"), "Enabled for unresolved services");
    EXPECT_EQ(d.LabelText("okAgainCommandLabel"), "Service ok again batch/executable:");
    ExpectAll(kBatchModes, true);
    ExpectAll(kBatchFiles, false);
    d.Click("runOnceRadio");
    ExpectAll(kBatchFiles, true);
    EXPECT_EQ(sound->sound.soundMode, kSoundEveryFailure);
    EXPECT_EQ(batch->batch.batchMode, kBatchOnce);
    EXPECT_EQ(sound->useGlobal, 0);
}

// Play sounds what was stored (by Browse or by leaving the page), never the
// text being typed; Browse offers wave files from the stored name.
TEST_F(AlertPagesDialogTest, PlayUsesTheStoredNameAndBrowseStoresTheChosenFile) {
    ServiceItem e = OwnAlerts(7, kSourceTcpPort, "80");
    e.alerts.sound.soundOnUnavailable = 1;
    e.alerts.sound.okAgainSound[0] = '\0';
    Open(e);
    d.ShowPage(kSound);
    d.Type("failedSoundEdit", "typed.wav");
    d.Click("playFailedSoundButton");
    d.Click("playOkAgainSoundButton");  // empty: nothing plays
    ASSERT_EQ(d.sound.played, std::vector<std::string>{"async:Failure.wav"});

    d.ShowPage(kBatch);
    d.ShowPage(kSound);
    d.Click("playFailedSoundButton");
    EXPECT_EQ(d.sound.played.back(), "async:typed.wav");

    d.nextChoice = QStringLiteral("/usr/share/sounds/alarm.wav");
    d.Click("browseFailedSoundButton");
    ASSERT_EQ(d.choices.size(), 1u);
    EXPECT_EQ(d.choices[0].initialName, "typed.wav");
    EXPECT_EQ(d.choices[0].defaultSuffix, "wav");
    EXPECT_TRUE(d.choices[0].filter.startsWith("Wave Files (*.wav)"));
    EXPECT_EQ(d.Edit("failedSoundEdit")->text(), "/usr/share/sounds/alarm.wav");
    d.Click("playFailedSoundButton");
    EXPECT_EQ(d.sound.played.back(), "async:/usr/share/sounds/alarm.wav");
    // A cancelled chooser changes nothing.
    d.nextChoice.clear();
    d.Click("browseFailedSoundButton");
    EXPECT_STREQ(entrySheet->Sound()->sound.failedSound, "/usr/share/sounds/alarm.wav");
}

class BatchTestButtonDialogTest : public AlertPagesDialogTest {
protected:
    void SetUp() override {
        ServiceItem e = OwnAlerts(7, kSourceTcpPort, "80");
        e.alerts.batch.batchOnUnavailable = 1;
        Open(e);
        d.ShowPage(kBatch);
    }
    fakes::TempDir dir;
};

TEST_F(BatchTestButtonDialogTest, FailingCommandIsReportedAndEmptyOneDoesNothing) {
    d.Click("testOkAgainCommandButton");  // empty field

    d.Type("failedCommandEdit", "tw-no-such-program-xyz --check");
    d.Click("failedCommandWaitCheck");
    EXPECT_EQ(d.MessagesDuring([&] { d.Click("testFailedCommandButton"); }),
              std::vector<std::string>{"Invalid command - cannot execute!"});
    // Test stores what it ran.
    EXPECT_STREQ(entrySheet->Batch()->batch.failedCommand, "tw-no-such-program-xyz --check");
    EXPECT_EQ(entrySheet->Batch()->batch.failedCommandWait, 1);
}

// Without waiting, a program that cannot be started is reported all the
// same; one that starts is not, whatever it does later.
TEST_F(BatchTestButtonDialogTest, ProgramThatCannotStartIsReportedWithoutWaiting) {
    const std::string notExecutable = dir / "plain.txt";
    std::ofstream(notExecutable) << "#!/bin/sh\nexit 0\n";
    for (const std::string& command :
         {std::string("tw-no-such-program-xyz --check"), dir / "missing/prog", notExecutable}) {
        d.Type("failedCommandEdit", QString::fromStdString(command));
        EXPECT_EQ(d.MessagesDuring([&] { d.Click("testFailedCommandButton"); }),
                  std::vector<std::string>{"Invalid command - cannot execute!"})
            << command;
        EXPECT_EQ(entrySheet->Batch()->batch.failedCommandWait, 0);
    }
    for (const char* command : {"false", "sh -c 'exit 3'"}) {
        d.Type("failedCommandEdit", command);
        EXPECT_EQ(d.MessagesDuring([&] { d.Click("testFailedCommandButton"); }).size(), 0u)
            << command;
    }
}

// A full-length line of shell syntax is kept and run exactly as typed.
TEST_F(BatchTestButtonDialogTest, FullLengthShellLineIsStoredAndRunAsTyped) {
    const std::string payload = "a;b|c&d$(x)`y`<z>\\\"q\"";
    std::string line = "printf '%s' '" + payload + "' > '" + dir / "out" + "' #";
    line.resize(255, 'x');
    d.Type("okAgainCommandEdit", QString::fromStdString(line));
    d.Click("okAgainCommandWaitCheck");
    EXPECT_EQ(d.MessagesDuring([&] { d.Click("testOkAgainCommandButton"); }).size(), 0u);
    EXPECT_EQ(fakes::ReadText(dir / "out"), payload);

    d.Type("okAgainCommandEdit", QString::fromStdString(line + "more"));
    d.Click("okButton");
    ServiceItem out = NewEntryTemplate();
    entrySheet->CopyBack(out);
    EXPECT_EQ(std::string(out.alerts.batch.okAgainCommand), line);
}

// A command that never ends cannot hold the sheet: the wait shows a small
// window whose Cancel ends the command.
TEST_F(BatchTestButtonDialogTest, NeverEndingCommandIsStoppedFromTheWaitWindow) {
    const std::string pidFile = dir / "pid";
    d.Type("failedCommandEdit",
           QString::fromStdString("sh -c 'echo $$ > " + pidFile + ".tmp; mv " + pidFile + ".tmp " +
                                  pidFile + "; exec sleep 600'"));
    d.Click("failedCommandWaitCheck");
    bool cancelled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* wait = entrySheet->Batch()->findChild<QProgressDialog*>("commandWaitDialog");
        // Cancelled once the command surely runs, with its pid written.
        if (!wait || !wait->isVisible() || cancelled || !std::filesystem::exists(pidFile)) return;
        cancelled = true;
        QTest::mouseClick(wait->findChild<QPushButton*>(), Qt::LeftButton);
    });
    poll.start(20);
    EXPECT_EQ(d.MessagesDuring([&] { d.Click("testFailedCommandButton"); }).size(), 0u);
    EXPECT_TRUE(cancelled);
    const pid_t pid = std::stoi(fakes::ReadText(pidFile));
    EXPECT_NE(kill(pid, 0), 0);
}

}  // namespace
}  // namespace tarnwatch::testing

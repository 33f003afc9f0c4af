// The whole "Add/Edit" sheet run modally: what OK writes, what Cancel keeps,
// and what a screen reader finds on the icon buttons.
#include "dialogs/EntrySheet.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>

#include "dialogs/CAlertPage.h"
#include "dialogs/CBatchAlert.h"
#include "dialogs/CGlobalPage.h"
#include "dialogs/DialogDriver.h"

namespace tarnwatch::testing {
namespace {

// An entry as the list holds it between passes: run-time fields set, spare
// values that only travel with the record, a text with an old tail.
ServiceItem ListedEntry() {
    ServiceItem e;
    std::memset(&e, 0, sizeof e);
    e.sourceKind = kSourceTcpPort;
    CopyText(e.source, "8080");
    CopyText(e.timeoutText, "5");
    CopyText(e.address, "web.example");
    e.enabled = 1;
    CopyText(e.description, "front door proxy");
    e.serviceTest = 7;  // Http
    e.row = 4;
    e.alerts.sound = DefaultSoundAlert();
    e.alerts.sound.soundSpare = 7;
    e.alerts.batch.batchSpare = 9;
    CopyText(e.alerts.batch.failedCommand, "/usr/local/bin/page-oncall");
    e.state = kStateUnavailable | kStateAlerted;
    e.attempts = 3;
    e.attempt = 2;
    e.soundUseGlobal = 1;
    e.batchUseGlobal = 1;
    e.lastTestTime = 1'700'000'000;
    e.frequency = kFrequencyHigh;
    return e;
}

class EntrySheetDialogTest : public ::testing::Test {
protected:
    // Runs RunEntrySheet with `steps` played on the sheet once it is up.
    bool Run(ServiceItem& entry, std::function<void()> steps) {
        QTimer::singleShot(0, [&] {
            d.sheet = qobject_cast<CAdvancedDlg*>(QApplication::activeModalWidget());
            if (!d.sheet) {
                ADD_FAILURE() << "no modal sheet";
                return;
            }
            steps();
            if (d.sheet->isVisible()) {
                ADD_FAILURE() << "the steps left the sheet open";
                d.sheet->reject();
            }
        });
        return RunEntrySheet(nullptr, entry, d.services);
    }
    DialogDriver d;
};

TEST_F(EntrySheetDialogTest, OkWritesExactlyTheEditedFields) {
    ServiceItem entry = ListedEntry();
    const bool ok = Run(entry, [&] {
        d.ChooseTest(22);  // Smtp
        d.Type("descriptionEdit", "mail");
        d.Type("attemptsEdit", "4");
        d.Click("lowRadio");
        d.Click("checkInternetCheck");
        d.Click("enabledCheck");
        d.ShowPage(1);
        d.Click("soundIndependentRadio");
        d.ShowPage(2);
        d.Click("soundUnresolvedCheck");
        d.Click("playEveryFailureRadio");
        d.Type("okAgainSoundEdit", "back.wav");
        d.ShowPage(3);  // batch settings stay global
        d.Click("okButton");
    });
    ASSERT_TRUE(ok);

    ServiceItem expected;
    std::memset(&expected, 0, sizeof expected);
    expected.sourceKind = kSourceTcpPort;
    std::strcpy(expected.source, "25");
    std::strcpy(expected.timeoutText, "5");
    std::strcpy(expected.address, "web.example");
    expected.enabled = 0;
    std::strcpy(expected.description, "mail");
    expected.serviceTest = 22;
    expected.row = 4;
    expected.alerts.sound.soundOnUnavailable = 1;
    expected.alerts.sound.soundOnTimedOut = 1;
    expected.alerts.sound.soundOnUnresolved = 0;
    expected.alerts.sound.soundMode = kSoundEveryFailure;
    expected.alerts.sound.soundSpare = 7;
    std::strcpy(expected.alerts.sound.failedSound, "Failure.wav");
    std::strcpy(expected.alerts.sound.okAgainSound, "back.wav");
    expected.alerts.batch.batchSpare = 9;
    std::strcpy(expected.alerts.batch.failedCommand, "/usr/local/bin/page-oncall");
    expected.state = kStateUnavailable | kStateAlerted;
    expected.attempts = 4;
    expected.attempt = 2;
    expected.soundUseGlobal = 0;
    expected.batchUseGlobal = 1;
    expected.verifyService = 0;
    expected.lastTestTime = 1'700'000'000;
    expected.frequency = kFrequencyLow;
    expected.checkInternet = 1;
    EXPECT_EQ(std::memcmp(&entry, &expected, sizeof entry), 0);
}

TEST_F(EntrySheetDialogTest, CancelLeavesTheEntryAsItWas) {
    ServiceItem entry = ListedEntry();
    const ServiceItem before = entry;
    const bool ok = Run(entry, [&] {
        d.Type("addressEdit", "elsewhere.example");
        d.ChooseTest(kServiceTestIsRunning);
        d.ShowPage(1);
        d.Click("soundIndependentRadio");
        d.Click("batchIndependentRadio");
        d.ShowPage(3);
        d.Click("batchUnavailableCheck");
        d.Type("failedCommandEdit", "rm -rf /tmp/nothing");
        d.Click("cancelButton");
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::memcmp(&entry, &before, sizeof entry), 0);
}

// Buttons that show only a picture still say what they do.
TEST_F(EntrySheetDialogTest, IconButtonsCarryAPictureANameAndATip) {
    ServiceItem entry = ListedEntry();
    entry.soundUseGlobal = 0;
    EntrySheet sheet(entry, d.services);
    d.sheet = &sheet.Sheet();
    d.sheet->open();
    int iconButtons = 0;
    for (int page = 0; page < d.sheet->Tabs()->count(); ++page) {
        d.ShowPage(page);
        for (auto* b : d.sheet->Tabs()->widget(page)->findChildren<QAbstractButton*>()) {
            EXPECT_FALSE(b->objectName().isEmpty());
            if (!b->text().isEmpty()) continue;
            ++iconButtons;
            EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << b->objectName().toStdString();
            EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
            EXPECT_FALSE(b->toolTip().isEmpty()) << b->objectName().toStdString();
        }
    }
    EXPECT_GT(iconButtons, 0);  // the Browse, Play and Test buttons are found by name elsewhere
}

}  // namespace
}  // namespace tarnwatch::testing

namespace tarnwatch::testing {
namespace {

// From the keyboard: the sheet opens with the focus on the page's first
// control, Tab walks the page top to bottom before OK and Cancel, and every
// page can be used without the mouse.
TEST_F(EntrySheetDialogTest, EveryPageWorksFromTheKeyboard) {
    ServiceItem entry = ListedEntry();
    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> walks;
    Run(entry, [&] {
        d.sheet->activateWindow();
        QApplication::setActiveWindow(d.sheet);
        QWidget* focus = QApplication::focusWidget();
        opened.push_back(focus ? focus->objectName().toStdString() : "");
        for (int i = 0; i < 40 && focus && focus->objectName() != "okButton"; ++i) {
            QTest::keyClick(focus, Qt::Key_Tab);
            focus = QApplication::focusWidget();
        }
        QTest::keyClick(focus, Qt::Key_Tab);
        opened.push_back(QApplication::focusWidget()->objectName().toStdString());
        walks = d.WalkEveryPage();
        d.sheet->reject();
    });
    EXPECT_EQ(opened, (std::vector<std::string>{"serviceTestCombo", "cancelButton"}));
    ASSERT_FALSE(walks.empty());
    EXPECT_EQ(walks[0],
              (std::vector<std::string>{"serviceTestCombo", "sourceEdit", "addressEdit",
                                        "descriptionEdit", "enabledCheck", "attemptsEdit",
                                        "timeoutEdit", "checkInternetCheck", "highRadio"}));
}

}  // namespace
}  // namespace tarnwatch::testing

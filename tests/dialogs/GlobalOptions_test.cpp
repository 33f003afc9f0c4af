// The Global Options sheet offscreen: the General page's sliders and boxes,
// the Internet page's address list and alert controls, and what OK and
// Cancel hand back to the settings.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "dialogs/CAddIPDlg.h"
#include "dialogs/CAlertPage.h"
#include "dialogs/CBatchAlert.h"
#include "dialogs/CInternetPage.h"
#include "dialogs/DialogDriver.h"
#include "dialogs/GlobalOptionsSheet.h"
#include "dialogs/OptionsDlg.h"
#include "engine/SettingsTable.h"
#include "fakes/FakePorts.h"
#include "fakes/TempDir.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

template <typename T>
T* Find(const QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Runs `answer` inside the next modal loop with the dialog that opened it,
// or with null when no modal dialog is open by the time events are handled.
void AnswerNextModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
}

// Presses Add on the page and answers "Add IP address" with `text` and OK,
// or with Cancel when there is no text. True when the dialog opened.
bool Add(CInternetPage& page, std::optional<QString> text) {
    bool opened = false;
    AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CAddIPDlg*>(modal);
        if (!dialog) return;
        opened = true;
        if (text) {
            Find<QLineEdit>(*dialog, "addressEdit")->setText(*text);
            Find<QPushButton>(*dialog, "okButton")->click();
        } else {
            Find<QPushButton>(*dialog, "cancelButton")->click();
        }
    });
    Find<QPushButton>(page, "addAddressButton")->click();
    // A dialog that never opened leaves the answer waiting: let it run now.
    QCoreApplication::processEvents();
    return opened;
}

// What the pages showed in their message boxes.
std::vector<std::string> shownMessages;

// The messages shown while `action` runs.
std::vector<std::string> MessagesDuring(const std::function<void()>& action) {
    shownMessages.clear();
    action();
    return std::exchange(shownMessages, {});
}

using Messages = std::vector<std::string>;

QStringList ListLines(const CInternetPage& page) {
    QStringList lines;
    auto* list = Find<QListWidget>(page, "addressList");
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

// Files and profile stay inside the test's own directory, whatever a page
// might touch.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { testing::App(); }
    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    fakes::ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    fakes::ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
    fakes::ScopedEnv tz{"TZ", "UTC"};
};

// --- General page -----------------------------------------------------------

using GeneralPageTest = DialogTest;

TEST_F(GeneralPageTest, ValueTextsAndIntervalsFollowEachSliderInItsOwnUnit) {
    OptionsDlg page;
    page.intervals = {5, 3, 7, 9};
    page.OnInitDialog();
    auto* low = Find<QSlider>(page, "lowSlider");
    auto* medium = Find<QSlider>(page, "mediumSlider");
    auto* high = Find<QSlider>(page, "highSlider");
    auto* lowText = Find<QLabel>(page, "lowValueText");
    auto* mediumText = Find<QLabel>(page, "mediumValueText");
    auto* highText = Find<QLabel>(page, "highValueText");
    EXPECT_EQ(lowText->text(), "3 hours");
    EXPECT_EQ(mediumText->text(), "3.5 hours");
    EXPECT_EQ(highText->text(), "9 minutes");

    struct Step {
        QSlider* slider;
        int position;
        QLabel* text;
        const char* expected;
        int frequencyClass;
    };
    const Step steps[] = {
        {medium, 1, mediumText, "0.5 hours", 2}, {medium, 2, mediumText, "1 hour", 2},
        {medium, 3, mediumText, "1.5 hours", 2}, {medium, 48, mediumText, "24 hours", 2},
        {medium, 0, mediumText, "0 hours", 2},   {low, 1, lowText, "1 hour", 1},
        {low, 0, lowText, "0 hours", 1},         {low, 24, lowText, "24 hours", 1},
        {high, 1, highText, "1 minute", 3},      {high, 0, highText, "0 minutes", 3},
        {high, 60, highText, "60 minutes", 3},
    };
    for (const Step& step : steps) {
        step.slider->setValue(step.position);
        EXPECT_EQ(step.text->text(), step.expected) << step.position;
        EXPECT_EQ(page.intervals[step.frequencyClass], step.position) << step.expected;
    }
    // Paging moves by the scale's own step, and no slider goes past its end.
    low->setValue(10);
    low->triggerAction(QSlider::SliderPageStepAdd);
    EXPECT_EQ(page.intervals[1], 12);
    medium->setValue(99);
    high->setValue(-4);
    EXPECT_EQ(page.intervals[2], 48);
    EXPECT_EQ(page.intervals[3], 0);
    EXPECT_EQ(page.intervals[0], 5) << "the on-demand entry has no control";
}

TEST_F(GeneralPageTest, EachBoxShowsAndWritesItsOwnOption) {
    OptionsDlg page;
    struct Box {
        const char* name;
        std::int32_t OptionsDlg::*member;
    };
    const Box boxes[] = {
        {"startupCheck", &OptionsDlg::startup},
        {"minimizeCheck", &OptionsDlg::minimize},
        {"disableCloseCheck", &OptionsDlg::disableClose},
        {"restoreCheck", &OptionsDlg::restore},
        {"autoMoveCheck", &OptionsDlg::autoMove},
        {"autoDisableCheck", &OptionsDlg::autoDisable},
        {"notifyCheck", &OptionsDlg::notify},
    };
    // One option on at a time shows exactly its box ticked; a click on that
    // box writes only its member.
    for (const Box& on : boxes) {
        for (const Box& box : boxes) page.*box.member = 0;
        page.*on.member = 1;
        page.OnInitDialog();
        for (const Box& box : boxes) {
            EXPECT_EQ(Find<QCheckBox>(page, box.name)->isChecked(), box.name == on.name)
                << on.name << " shown as " << box.name;
        }
        Find<QCheckBox>(page, on.name)->click();
        for (const Box& box : boxes) EXPECT_EQ(page.*box.member, 0) << on.name;
    }
}

// --- Internet page ----------------------------------------------------------

class InternetPageTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        services.sound = &sound;
        services.chooseFile = [this](QWidget*, const FileChoice& choice) {
            choices.push_back(choice);
            return chosen;
        };
        services.showMessage = [](QWidget*, const std::string& text) {
            shownMessages.push_back(text);
        };
    }
    // A page showing `addresses`, every alert mode on.
    std::unique_ptr<CInternetPage> Page(std::initializer_list<const char*> addresses) {
        auto page = std::make_unique<CInternetPage>(services);
        for (const char* address : addresses) {
            CopyText(page->addresses[page->addressCount++], address);
        }
        page->alerts.sound.soundMode = kSoundOnce;
        page->alerts.batch.batchMode = kBatchOnce;
        page->OnInitDialog();
        return page;
    }
    fakes::RecordingSound sound;
    DialogServices services;
    QString chosen;
    std::vector<FileChoice> choices;
};

TEST_F(InternetPageTest, AddStripsOnlyBlanksAndTabsAndCancelOrEmptyTextChangesNothing) {
    auto page = Page({"first.example"});
    EXPECT_TRUE(Add(*page, QString::fromLatin1("  my host.example\t")));
    EXPECT_EQ(page->addressCount, 2);
    EXPECT_STREQ(page->addresses[1], "my host.example");
    EXPECT_EQ(ListLines(*page), (QStringList{"first.example", "my host.example"}));

    EXPECT_EQ(MessagesDuring([&] {
                  EXPECT_TRUE(Add(*page, std::nullopt));
                  EXPECT_TRUE(Add(*page, QString()));
              }),
              Messages{})
        << "nothing to report";
    EXPECT_EQ(page->addressCount, 2);
    EXPECT_STREQ(page->addresses[2], "");
    EXPECT_EQ(ListLines(*page).size(), 2);
}

TEST_F(InternetPageTest, TheEleventhAddOnlyShowsTheLimit) {
    auto page = Page({"a", "b", "c", "d", "e", "f", "g", "h", "i"});
    EXPECT_TRUE(Add(*page, QString::fromLatin1("j")));
    EXPECT_EQ(page->addressCount, 10);
    EXPECT_STREQ(page->addresses[9], "j");

    EXPECT_EQ(MessagesDuring([&] {
                  EXPECT_FALSE(Add(*page, QString::fromLatin1("k"))) << "the dialog must not open";
              }),
              Messages{"Maximum of 10 entries already reached"});
    EXPECT_EQ(page->addressCount, 10);
    EXPECT_EQ(ListLines(*page).size(), 10);
}

TEST_F(InternetPageTest, OverLongAndBlankOnlyAddressesAreRefusedWithAMessage) {
    auto page = Page({"a"});
    const QString longest(255, QLatin1Char('x'));
    EXPECT_TRUE(Add(*page, QString::fromLatin1(" \t") + longest + QString::fromLatin1("\t ")));
    EXPECT_EQ(page->addressCount, 2);
    EXPECT_EQ(std::strlen(page->addresses[1]), 255u) << "blanks do not count against the limit";

    EXPECT_EQ(MessagesDuring([&] { EXPECT_TRUE(Add(*page, longest + QLatin1Char('y'))); }),
              Messages{LoadString(IDS_ADDRESS_TOO_LONG)});
    EXPECT_EQ(MessagesDuring([&] { EXPECT_TRUE(Add(*page, QString::fromLatin1(" \t \t"))); }),
              Messages{LoadString(IDS_ADDRESS_BLANK)});

    EXPECT_EQ(page->addressCount, 2);
    EXPECT_STREQ(page->addresses[2], "");
    EXPECT_EQ(ListLines(*page).size(), 2);
}

TEST_F(InternetPageTest, RemoveShiftsLaterSlotsDownAndNeedsASelection) {
    auto page = Page({"one", "two", "three"});
    auto* list = Find<QListWidget>(*page, "addressList");
    auto* remove = Find<QPushButton>(*page, "removeAddressButton");

    remove->click();
    EXPECT_EQ(page->addressCount, 3) << "no selection, nothing removed";

    list->setCurrentRow(1);
    remove->click();
    EXPECT_EQ(page->addressCount, 2);
    EXPECT_STREQ(page->addresses[0], "one");
    EXPECT_STREQ(page->addresses[1], "three");
    EXPECT_STREQ(page->addresses[2], "");
    EXPECT_EQ(ListLines(*page), (QStringList{"one", "three"}));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    remove->click();
    EXPECT_EQ(page->addressCount, 2) << "nothing is selected after a removal";
}

TEST_F(InternetPageTest, DamagedAddressTableIsShownWithinItsSlots) {
    CInternetPage page(services);
    for (auto& slot : page.addresses) std::memset(slot, 'z', kTextSize);  // no terminator
    page.addressCount = 14;
    page.OnInitDialog();
    EXPECT_EQ(page.addressCount, 10);
    ASSERT_EQ(ListLines(page).size(), 10);
    EXPECT_EQ(ListLines(page).last(), QString(255, QLatin1Char('z')));
    EXPECT_EQ(MessagesDuring([&] { EXPECT_FALSE(Add(page, QString::fromLatin1("more"))); }).size(),
              1u);

    CInternetPage negative(services);
    CopyText(negative.addresses[0], "left over");
    negative.addressCount = -3;
    negative.OnInitDialog();
    EXPECT_EQ(negative.addressCount, 0);
    EXPECT_TRUE(ListLines(negative).isEmpty());
    EXPECT_STREQ(negative.addresses[0], "");
    EXPECT_TRUE(Add(negative, QString::fromLatin1("fresh")));
    EXPECT_STREQ(negative.addresses[0], "fresh");
}

TEST_F(InternetPageTest, FileControlsAreGreyedWhileTheirModeIsOff) {
    auto page = Page({});
    const char* soundControls[] = {"unavailableSoundEdit",         "availableSoundEdit",
                                   "browseUnavailableSoundButton", "browseAvailableSoundButton",
                                   "playUnavailableSoundButton",   "playAvailableSoundButton"};
    const char* batchControls[] = {"unavailableCommandEdit",         "availableCommandEdit",
                                   "browseUnavailableCommandButton", "browseAvailableCommandButton",
                                   "testUnavailableCommandButton",   "testAvailableCommandButton",
                                   "unavailableCommandWaitCheck",    "availableCommandWaitCheck"};
    const auto enabled = [&](const auto& names) {
        int count = 0;
        for (const char* name : names) count += Find<QWidget>(*page, name)->isEnabled() ? 1 : 0;
        return count;
    };
    EXPECT_EQ(enabled(soundControls), 6);
    EXPECT_EQ(enabled(batchControls), 8);

    Find<QRadioButton>(*page, "internetNoSoundRadio")->click();
    EXPECT_EQ(page->alerts.sound.soundMode, kSoundNone);
    EXPECT_EQ(enabled(soundControls), 0);
    EXPECT_EQ(enabled(batchControls), 8) << "the batch half is not the sound half";
    Find<QRadioButton>(*page, "internetNoActionRadio")->click();
    EXPECT_EQ(page->alerts.batch.batchMode, kBatchNone);
    EXPECT_EQ(enabled(batchControls), 0);
    for (const char* radio :
         {"internetNoSoundRadio", "internetPlayContinuousRadio", "internetNoActionRadio",
          "internetRunEveryFailureRadio", "messageBoxOnceRadio"}) {
        EXPECT_TRUE(Find<QRadioButton>(*page, radio)->isEnabled()) << radio;
    }

    Find<QRadioButton>(*page, "internetPlayContinuousRadio")->click();
    Find<QRadioButton>(*page, "internetRunEveryFailureRadio")->click();
    Find<QRadioButton>(*page, "messageBoxEveryFailureRadio")->click();
    EXPECT_EQ(page->alerts.sound.soundMode, kSoundContinuous);
    EXPECT_EQ(page->alerts.batch.batchMode, kBatchEveryFailure);
    EXPECT_EQ(page->alerts.messageBoxMode, kMessageBoxEveryFailure);
    EXPECT_EQ(enabled(soundControls), 6);
    EXPECT_EQ(enabled(batchControls), 8);
}

TEST_F(InternetPageTest, TypedFileNamesAreStoredWhenThePageIsLeftAndBoundedToTheirField) {
    auto page = Page({});
    Find<QLineEdit>(*page, "unavailableSoundEdit")->setText("down.wav");
    Find<QLineEdit>(*page, "availableSoundEdit")->setText("up.wav");
    Find<QLineEdit>(*page, "unavailableCommandEdit")->setText("/usr/local/bin/down.sh");
    Find<QLineEdit>(*page, "availableCommandEdit")->setText(QString(400, QLatin1Char('u')));
    page->OnKillActive();
    EXPECT_STREQ(page->alerts.sound.failedSound, "down.wav");
    EXPECT_STREQ(page->alerts.sound.okAgainSound, "up.wav");
    EXPECT_STREQ(page->alerts.batch.failedCommand, "/usr/local/bin/down.sh");
    EXPECT_EQ(std::strlen(page->alerts.batch.okAgainCommand), 255u);
}

TEST_F(InternetPageTest, BrowsePlayAndTestWorkOnTheirOwnMembers) {
    auto page = Page({});
    // Icon-only buttons: a picture for the eye, a name and a tip for the rest.
    for (const char* name : {"browseUnavailableSoundButton", "browseAvailableSoundButton",
                             "browseUnavailableCommandButton", "browseAvailableCommandButton",
                             "playUnavailableSoundButton", "playAvailableSoundButton"}) {
        auto* button = Find<QToolButton>(*page, name);
        EXPECT_FALSE(button->icon().isNull()) << name;
        EXPECT_FALSE(button->accessibleName().isEmpty()) << name;
        EXPECT_FALSE(button->toolTip().isEmpty()) << name;
    }
    CopyText(page->alerts.sound.failedSound, "");
    CopyText(page->alerts.sound.okAgainSound, "/sounds/old.wav");
    page->OnInitDialog();

    chosen = QStringLiteral("/sounds/new up.wav");
    Find<QToolButton>(*page, "browseAvailableSoundButton")->click();
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].initialName, "/sounds/old.wav");
    EXPECT_EQ(choices[0].defaultSuffix, "wav");
    EXPECT_STREQ(page->alerts.sound.okAgainSound, "/sounds/new up.wav");
    EXPECT_EQ(Find<QLineEdit>(*page, "availableSoundEdit")->text(), "/sounds/new up.wav");
    EXPECT_STREQ(page->alerts.sound.failedSound, "") << "the other sound is untouched";

    chosen = QStringLiteral("/opt/alert/down.sh");
    Find<QToolButton>(*page, "browseUnavailableCommandButton")->click();
    EXPECT_STREQ(page->alerts.batch.failedCommand, "/opt/alert/down.sh");
    chosen.clear();  // the chooser cancelled
    Find<QToolButton>(*page, "browseUnavailableCommandButton")->click();
    EXPECT_STREQ(page->alerts.batch.failedCommand, "/opt/alert/down.sh");
    EXPECT_EQ(choices.back().initialDirectory, "/opt/alert/");

    // Play plays what is stored, not what is being typed.
    Find<QLineEdit>(*page, "availableSoundEdit")->setText("typed.wav");
    Find<QToolButton>(*page, "playAvailableSoundButton")->click();
    Find<QToolButton>(*page, "playUnavailableSoundButton")->click();  // empty: silent
    EXPECT_EQ(sound.played, (std::vector<std::string>{"async:/sounds/new up.wav"}));

    // Test takes the typed command first and waits for it when asked to.
    Find<QCheckBox>(*page, "availableCommandWaitCheck")->click();
    EXPECT_EQ(page->alerts.batch.okAgainCommandWait, 1);
    Find<QLineEdit>(*page, "availableCommandEdit")->setText("/bin/false");
    EXPECT_EQ(
        MessagesDuring([&] { Find<QPushButton>(*page, "testAvailableCommandButton")->click(); }),
        Messages{"Invalid command - cannot execute!"});
    EXPECT_STREQ(page->alerts.batch.okAgainCommand, "/bin/false");
}

// --- The sheet --------------------------------------------------------------

// Every value the profile holds set apart from its neighbours, within its
// range, so a value copied from the wrong place shows. Four addresses in use.
GlobalSettings Distinct() {
    GlobalSettings s = DefaultSettings();
    int n = 0;
    for (const SettingDef& def : SettingsTable()) {
        ++n;
        if (def.kind == SettingKind::kInt) {
            // In 64 bits: a range may span the whole of int32 (a time).
            *def.intField(s) =
                static_cast<std::int32_t>(def.low + n % (std::int64_t{def.high} - def.low + 1));
        } else {
            CopyText(def.textField(s), kTextSize, ("text " + std::to_string(n)).c_str());
        }
    }
    s.internetAddressCount = 4;
    for (int i = 4; i < kMaxInternetAddresses; ++i) s.internetAddresses[i][0] = '\0';
    // Kept in memory only, never shown, but carried through the sheet.
    s.alerts.sound.soundSpare = 71;
    s.alerts.batch.batchSpare = 72;
    s.internetAlerts.sound.soundSpare = 73;
    s.internetAlerts.batch.batchSpare = 74;
    s.internetAlerts.sound.soundOnTimedOut = 75;
    s.internetAlerts.batch.batchOnUnresolved = 76;
    return s;
}

void ExpectSameSettings(const GlobalSettings& expected, const GlobalSettings& actual) {
    for (const SettingDef& def : SettingsTable()) {
        const char* name = LoadString(def.nameId);
        if (def.kind == SettingKind::kInt) {
            EXPECT_EQ(IntValue(def, actual), IntValue(def, expected)) << name;
        } else {
            EXPECT_STREQ(TextValue(def, actual), TextValue(def, expected)) << name;
        }
    }
    EXPECT_EQ(std::memcmp(&actual.alerts, &expected.alerts, sizeof actual.alerts), 0);
    EXPECT_EQ(
        std::memcmp(&actual.internetAlerts, &expected.internetAlerts, sizeof actual.internetAlerts),
        0);
}

class SheetTest : public DialogTest {
protected:
    // Runs the sheet over `settings` with `user` acting on it while it is
    // open; the user ends it. Returns what the run returned.
    bool Run(GlobalSettings& settings, const std::function<void(CAdvancedDlg&)>& user) {
        bool opened = false;
        AnswerNextModal([&](QWidget* modal) {
            auto* sheet = qobject_cast<CAdvancedDlg*>(modal);
            if (!sheet) return;
            opened = true;
            ui.sheet = sheet;
            user(*sheet);
            if (sheet->isVisible()) sheet->reject();  // never leave a run hanging
        });
        const bool ok = RunGlobalOptionsSheet(nullptr, settings, ui.services);
        ui.sheet = nullptr;
        EXPECT_TRUE(opened);
        return ok;
    }
    testing::DialogDriver ui;
};

TEST_F(SheetTest, OkHandsBackExactlyWhatThePagesEdit) {
    GlobalSettings settings = Distinct();
    settings.columnWidth[kColStatus] = 321;
    GlobalSettings expected = settings;

    const bool ok = Run(settings, [&](CAdvancedDlg& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Global Options");
        QStringList titles;
        for (int i = 0; i < sheet.Tabs()->count(); ++i) titles << sheet.Tabs()->tabText(i);
        EXPECT_EQ(titles, (QStringList{"General", "Sound Alerts", "Batch Alerts", "Internet"}));
        EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);

        auto* general = Find<OptionsDlg>(sheet, "generalPage");
        Find<QSlider>(*general, "mediumSlider")->setValue(5);
        expected.mediumInterval = 5;
        Find<QCheckBox>(*general, "restoreCheck")->click();
        expected.restore = expected.restore ? 0 : 1;

        // The alert pages in their global form: nothing linked, nothing
        // standing in for them.
        EXPECT_EQ(sheet.findChild<CAlertPage*>()->useGlobal, 0);
        EXPECT_EQ(sheet.findChild<CBatchAlert*>()->useGlobal, 0);
        ui.ShowPage(1);
        ui.Click("playEveryFailureRadio");
        expected.alerts.sound.soundMode = kSoundEveryFailure;
        ui.Type("failedSoundEdit", "/sounds/down.wav");
        CopyText(expected.alerts.sound.failedSound, "/sounds/down.wav");
        ui.ShowPage(2);
        ui.Click("runOnceRadio");
        expected.alerts.batch.batchMode = kBatchOnce;
        ui.Click("okAgainCommandWaitCheck");
        expected.alerts.batch.okAgainCommandWait = expected.alerts.batch.okAgainCommandWait ? 0 : 1;

        ui.ShowPage(3);
        auto* internet = Find<CInternetPage>(sheet, "internetPage");
        Find<QListWidget>(*internet, "addressList")->setCurrentRow(0);
        Find<QPushButton>(*internet, "removeAddressButton")->click();
        for (int i = 0; i < 3; ++i) {
            CopyText(expected.internetAddresses[i], settings.internetAddresses[i + 1]);
        }
        expected.internetAddresses[3][0] = '\0';
        expected.internetAddressCount = 3;
        ui.Click("messageBoxOnceRadio");
        expected.internetAlerts.messageBoxMode = kMessageBoxOnce;
        ui.Click("internetRunEveryFailureRadio");
        expected.internetAlerts.batch.batchMode = kBatchEveryFailure;
        // Typed, never browsed: OK on this page stores it.
        ui.Type("availableCommandEdit", "/usr/bin/logger up");
        CopyText(expected.internetAlerts.batch.okAgainCommand, "/usr/bin/logger up");

        ui.Click("okButton");
    });
    EXPECT_TRUE(ok);
    ExpectSameSettings(expected, settings);
}

TEST_F(SheetTest, CancelChangesNothingAndTheNextRunShowsTheValuesFromBefore) {
    GlobalSettings settings = Distinct();
    const GlobalSettings before = settings;

    EXPECT_FALSE(Run(settings, [&](CAdvancedDlg& sheet) {
        Find<QSlider>(sheet, "lowSlider")->setValue(before.lowInterval == 1 ? 2 : 1);
        ui.Click("startupCheck");
        ui.ShowPage(1);
        ui.Click("soundUnresolvedCheck");
        ui.ShowPage(3);
        Find<QListWidget>(sheet, "addressList")->setCurrentRow(2);
        ui.Click("removeAddressButton");
        ui.Type("unavailableSoundEdit", "typed.wav");
        ui.ShowPage(0);  // leaving the page takes the typed name
        ui.Click("cancelButton");
    }));
    ExpectSameSettings(before, settings);

    EXPECT_FALSE(Run(settings, [&](CAdvancedDlg& sheet) {
        EXPECT_EQ(Find<QSlider>(sheet, "lowSlider")->value(), before.lowInterval);
        EXPECT_EQ(
            Find<QLabel>(sheet, "lowValueText")->text(),
            QString::number(before.lowInterval) + (before.lowInterval == 1 ? " hour" : " hours"));
        EXPECT_EQ(ui.Checked("startupCheck"), before.startup != 0);
        ui.ShowPage(1);  // a page shows its values once it is shown
        EXPECT_EQ(ui.Checked("soundUnresolvedCheck"), before.alerts.sound.soundOnUnresolved != 0);
        auto* internet = Find<CInternetPage>(sheet, "internetPage");
        EXPECT_EQ(ListLines(*internet).size(), before.internetAddressCount);
        EXPECT_EQ(Find<QLineEdit>(*internet, "unavailableSoundEdit")->text(),
                  before.internetAlerts.sound.failedSound);
        sheet.reject();
    }));
}

TEST_F(SheetTest, DamagedSettingsAreShownAndComeBackInRange) {
    GlobalSettings settings = Distinct();
    settings.lowInterval = 99;
    settings.mediumInterval = -1;
    settings.highInterval = 61;
    settings.startup = 2;
    settings.internetAddressCount = 12;
    for (auto& slot : settings.internetAddresses) CopyText(slot, "host.example");
    GlobalSettings expected = settings;
    expected.lowInterval = 24;
    expected.mediumInterval = 0;
    expected.highInterval = 60;
    expected.startup = 1;
    expected.internetAddressCount = 10;

    EXPECT_TRUE(Run(settings, [&](CAdvancedDlg& sheet) {
        EXPECT_EQ(ui.LabelText("lowValueText"), "24 hours");
        EXPECT_EQ(Find<QSlider>(sheet, "mediumSlider")->value(), 0);
        EXPECT_EQ(ui.LabelText("highValueText"), "60 minutes");
        EXPECT_TRUE(ui.Checked("startupCheck"));
        EXPECT_EQ(Find<QListWidget>(sheet, "addressList")->count(), 10);
        ui.Click("okButton");
    }));
    ExpectSameSettings(expected, settings);
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

// The Global Options sheet from the keyboard, every page.
TEST_F(SheetTest, EveryPageWorksFromTheKeyboard) {
    GlobalSettings settings = Distinct();
    std::vector<std::vector<std::string>> walks;
    Run(settings, [&](CAdvancedDlg& sheet) {
        sheet.activateWindow();
        QApplication::setActiveWindow(&sheet);
        walks = ui.WalkEveryPage();
    });
    ASSERT_FALSE(walks.empty());
    ASSERT_FALSE(walks[0].empty());
    EXPECT_EQ(walks[0].front(), "startupCheck");
    EXPECT_EQ(walks[0].back(), "highSlider");
}

}  // namespace
}  // namespace tarnwatch

// The main window offscreen: rows, columns, buttons, Esc and the close path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "dialogs/DialogServices.h"
#include "engine/ListFile.h"
#include "fakes/ListFileBytes.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"
#include "shell/ProfileStore.h"

namespace tarnwatch {
namespace {

class StoreWithColumns final : public SettingsStore {
public:
    void ReadSettings(GlobalSettings& s) override {
        s.columnPosition = {1, 2, 3, 4, 0, 5, 6, 7};  // Status first
        s.columnWidth[kColDescription] = 133;
        s.minimize = 0;
    }
    void WriteListAndAlertSettings(const GlobalSettings& s) override { written = s, ++writes; }
    void WriteRunOptions(const GlobalSettings&, int) override {}
    GlobalSettings written;
    int writes = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakes::App();
        fakes::RawRecord r(1912);
        r.Text(4, "22")
            .Text(260, "5")
            .Text(280, "ssh.example")
            .Int(536, 1)
            .Int(796, 26)
            .Int(1880, 1);
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 3, {r, r, r}));
    }
    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    StoreWithColumns store;
};

// An empty list shows a hint in its area, never a row; entries hide it.
TEST_F(MainWindowTest, EmptyListShowsTheHintUntilAnEntryIsThere) {
    CTarnwatchDlg dlg(&store);
    auto* list = dlg.findChild<QTreeView*>("entryList");
    auto* hint = dlg.findChild<QLabel*>("emptyListHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_FALSE(hint->isVisibleTo(list));
    for (int left = 3; left > 0; --left) {
        EXPECT_FALSE(hint->isVisibleTo(list)) << left << " rows left";
        dlg.Engine().OnSelect(0);
        dlg.Engine().OnRemove();
    }
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_TRUE(hint->isVisibleTo(list));
    EXPECT_NE(hint->text().indexOf("Add"), -1) << hint->text().toStdString();
}

TEST_F(MainWindowTest, ShowsRowsWithStoredColumnsAndReadsThemBackAtClose) {
    CTarnwatchDlg dlg(&store);
    auto* list = dlg.findChild<QTreeView*>("entryList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(list->model()->headerData(kColStatus, Qt::Horizontal).toString(), "Status");
    EXPECT_EQ(list->model()->index(0, kColSource).data().toString(), "port 22");
    EXPECT_EQ(list->model()->index(0, kColServiceTest).data().toString(), "Telnet");
    EXPECT_EQ(list->header()->logicalIndex(0), kColStatus);
    EXPECT_EQ(list->header()->sectionSize(kColDescription), 133);
    EXPECT_TRUE(dlg.findChild<QPushButton*>("updateButton")->isEnabled());

    // The user drags Address to the front.
    list->header()->moveSection(list->header()->visualIndex(kColAddress), 0);
    dlg.CloseProgram();
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(store.written.columnPosition[kColAddress], 0);
    EXPECT_EQ(store.written.columnPosition[kColStatus], 1);
    EXPECT_EQ(store.written.columnWidth[kColDescription], 133);
}

TEST_F(MainWindowTest, EscapeAndUserCloseNeverEndTheProgram) {
    CTarnwatchDlg dlg(&store);
    dlg.show();
    static_cast<QDialog&>(dlg).reject();
    EXPECT_TRUE(dlg.isVisible());
    dlg.close();  // "DisableClose" is on by default
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.Engine().IsClosing());
    dlg.CloseProgram();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(dlg.Engine().IsClosing());
}

// Runs `fill` on the sheet that the next click opens, then presses its OK.
void OnNextSheet(std::function<void(QDialog&)> fill) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, fill] {
        auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!sheet) return;
        poll->stop();
        poll->deleteLater();
        fill(*sheet);
        sheet->findChild<QPushButton*>("okButton")->click();
    });
    poll->start(10);
}

// A user builds a list from an empty start through the real sheet, moves,
// sorts and removes entries, and closes; the file holds exactly what the
// window showed last, in its order.
TEST_F(MainWindowTest, ListBuiltInTheWindowIsSavedInItsOrder) {
    fakes::ScopedEnv empty("TARNWATCH_HOME", dir / "built");
    CTarnwatchDlg dlg(&store);
    dlg.show();
    auto* list = dlg.findChild<QTreeView*>("entryList");
    for (const char* address : {"zeta.example", "alpha.example", "mid.example"}) {
        OnNextSheet([address](QDialog& sheet) {
            QTest::keyClicks(sheet.findChild<QLineEdit*>("addressEdit"), address);
        });
        QTest::mouseClick(dlg.findChild<QPushButton*>("addButton"), Qt::LeftButton);
    }
    ASSERT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(list->currentIndex().row(), 2);  // the new row is the selected one
    QTest::mouseClick(dlg.findChild<QToolButton*>("moveUpButton"), Qt::LeftButton);
    EXPECT_EQ(list->model()->index(1, kColAddress).data().toString(), "mid.example");
    emit list->header()->sectionClicked(kColAddress);
    EXPECT_EQ(list->model()->index(0, kColAddress).data().toString(), "alpha.example");
    // The arrow keys move the row the buttons act on.
    list->setFocus();
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(dlg.Engine().Entries().selectedRow, 1);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->model()->rowCount(), 2);
    dlg.CloseProgram();

    const auto bytes = fakes::ReadBytes(dir / "built/Tarnwatch.ini");
    ASSERT_EQ(bytes.size(), 8u + 2 * 1912u + 4u);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4),
              (std::vector<unsigned char>{0xCD, 0xCC, 0x0C, 0xC0}));
    EXPECT_EQ(fakes::IntAt(bytes, 4), 2);
    EXPECT_EQ(fakes::IntAt(bytes, bytes.size() - 4), 0);
    for (int i = 0; i < 2; ++i) {
        ServiceItem expected = NewEntryTemplate();
        CopyText(expected.address, i == 0 ? "alpha.example" : "zeta.example");
        expected.row = i;
        std::vector<unsigned char> want(1912);
        std::memcpy(want.data(), &expected, 1912);
        const auto at = bytes.begin() + 8 + i * 1912;
        EXPECT_EQ(std::vector<unsigned char>(at, at + 1912), want) << "record " << i;
    }
}

// A click on a check box's indicator, where a user clicks it.
void ClickBox(QDialog& sheet, const char* name) {
    auto* box = sheet.findChild<QCheckBox*>(name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

// A new user opens Global Options on an empty profile, sets the high class
// to one minute and allows closing: both apply at once, without a restart,
// and every value of the sheet reaches the profile file.
TEST_F(MainWindowTest, GlobalOptionsApplyAtOnceAndReachTheProfile) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir / "config"));
    fakes::ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    fakes::ScopedEnv empty("TARNWATCH_HOME", dir / "options");
    ProfileStore profile;
    CTarnwatchDlg dlg(&profile);
    dlg.show();
    auto* high = dlg.findChild<QLineEdit*>("highCountdown");
    EXPECT_FALSE(high->isEnabled());
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    const std::string autostart = ProfileStore::AutostartFile().toStdString();

    OnNextSheet([](QDialog& sheet) {
        sheet.findChild<QSlider*>("highSlider")->setValue(1);
        ClickBox(sheet, "disableCloseCheck");
        ClickBox(sheet, "startupCheck");
    });
    QTest::mouseClick(dlg.findChild<QPushButton*>("globalOptionsButton"), Qt::LeftButton);
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(high->isEnabled());
    EXPECT_FALSE(high->text().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(autostart));

    QSettings written(QString::fromStdString(dir / "config/Quillon/Tarnwatch.conf"),
                      QSettings::IniFormat);
    written.beginGroup("Options");
    const std::map<QString, int> expected = {
        {"Minimize", 1},      {"Startup", 0},   {"DisableClose", 0},      {"amove", 1},
        {"adisable", 0},      {"restore", 1},   {"LowNetUpdate", 0},      {"MedNedUpdate", 0},
        {"HighNetUpdate", 1}, {"n_IP_List", 1}, {"iSoundUnavailable", 3}, {"iMessageBox", 0}};
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(written.value(name).toInt(), value) << name.toStdString();
    }
    EXPECT_EQ(written.value("IP_List0").toString(), kDefaultInternetAddress);
    EXPECT_EQ(written.value("iWaveUnavailable").toString(), "Failure.wav");

    // Switching start-up on again creates the autostart entry.
    OnNextSheet([](QDialog& sheet) { ClickBox(sheet, "startupCheck"); });
    QTest::mouseClick(dlg.findChild<QPushButton*>("globalOptionsButton"), Qt::LeftButton);
    EXPECT_TRUE(std::filesystem::exists(autostart));
    dlg.CloseProgram();
}

// Screen readers and GUI test tools find the controls that show no text by
// their accessible names; each also explains itself in a tool tip.
TEST_F(MainWindowTest, ControlsWithoutTextHaveNamesAndTips) {
    CTarnwatchDlg dlg(&store);
    int checked = 0;
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        const auto* tool = qobject_cast<QToolButton*>(w);
        const auto* label = qobject_cast<QLabel*>(w);
        const auto* edit = qobject_cast<QLineEdit*>(w);
        const bool silent = (tool && tool->text().isEmpty()) ||
                            (label && label->text().isEmpty()) || (edit && edit->isReadOnly());
        if (!silent) continue;
        ++checked;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
    }
    EXPECT_GE(checked, 12);
}

TEST_F(MainWindowTest, EmptyStartDisablesRowButtons) {
    fakes::ScopedEnv empty("TARNWATCH_HOME", dir / "empty");
    CTarnwatchDlg dlg(&store);
    // A new user can build a list from the start.
    EXPECT_TRUE(dlg.findChild<QPushButton*>("addButton")->isEnabled());
    EXPECT_TRUE(dlg.findChild<QPushButton*>("globalOptionsButton")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("removeButton")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("editButton")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("updateButton")->isEnabled());
    dlg.CloseProgram();
    EXPECT_FALSE(std::filesystem::exists(dir / "empty/Tarnwatch.ini"));
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

// A close that arrives deep inside nested windows (a sheet, a file chooser
// opened from it, a message over that, and a command's wait window) ends each
// of them as if cancelled, innermost first; the sheet's entry is never
// added, and only then do the shutdown and the end of the event loop follow.
TEST_F(MainWindowTest, CloseInsideNestedWindowsEndsThemAllThenShutsDown) {
    CTarnwatchDlg dlg(&store);
    dlg.show();
    std::vector<std::string> ended;
    auto nest = [&](int delayMs, std::function<void()> open) {
        QTimer::singleShot(delayMs, &dlg, std::move(open));
    };
    nest(0, [&] {
        nest(50, [&] {
            QFileDialog chooser(&dlg);
            nest(50, [&] {
                QMessageBox box(QMessageBox::Information, "Tarnwatch", "message", QMessageBox::Ok,
                                &dlg);
                nest(50, [&] {
                    // The wait window appears after a moment; the close comes
                    // while it waits.
                    nest(600, [&] {
                        EXPECT_NE(dlg.findChild<QWidget*>("commandWaitDialog"), nullptr);
                        dlg.CloseProgram();
                        EXPECT_FALSE(dlg.Engine().ShutdownDone()) << "shut down under the windows";
                    });
                    TestCommand(&dlg, "sleep 30", 1, DialogServices{});
                    ended.push_back("wait");
                });
                box.exec();
                ended.push_back("message");
            });
            chooser.exec();
            ended.push_back("chooser");
        });
        dlg.Engine().OnAdd();
        ended.push_back("sheet");
    });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the event loop did not end";
    EXPECT_EQ(ended, (std::vector<std::string>{"wait", "message", "chooser", "sheet"}));
    EXPECT_TRUE(dlg.Engine().ShutdownDone());
    EXPECT_EQ(fakes::IntAt(fakes::ReadBytes(dir / "Tarnwatch.ini"), 4), 3);
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

class PlainStore final : public SettingsStore {
public:
    void ReadSettings(GlobalSettings& s) override { s.minimize = 0; }
    void WriteListAndAlertSettings(const GlobalSettings&) override {}
    void WriteRunOptions(const GlobalSettings&, int) override {}
};

// From the keyboard alone: Ctrl+1 to Ctrl+8 sort by the column shown at
// that place (again: the other way), Ctrl+Up and Ctrl+Down move the entry.
// At the default widths every heading fits, and a cut cell's tool tip is
// its whole text.
TEST(MainWindowKeyboard, SortsMovesAndShowsWholeTexts) {
    fakes::App();
    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    const std::string longText = "a description far too long for its column";
    std::vector<fakes::RawRecord> records;
    for (const char* a : {"b.test", "c.test", "a.test"}) {
        records.push_back(fakes::TestEntry(0, "80", a, 14, longText));
    }
    fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 3, records));
    PlainStore store;
    CTarnwatchDlg dlg(&store);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* list = dlg.findChild<QTreeView*>("entryList");
    auto addresses = [&] {
        std::vector<std::string> out;
        for (int r = 0; r < 3; ++r) {
            out.push_back(list->model()->index(r, kColAddress).data().toString().toStdString());
        }
        return out;
    };
    list->setFocus();
    dlg.Engine().OnSelect(0);
    QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"c.test", "b.test", "a.test"}));
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"b.test", "c.test", "a.test"}));
    list->header()->moveSection(list->header()->visualIndex(kColAddress), 7);
    QTest::keyClick(list, Qt::Key_8, Qt::ControlModifier);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"a.test", "b.test", "c.test"}));
    QTest::keyClick(list, Qt::Key_8, Qt::ControlModifier);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"c.test", "b.test", "a.test"}));

    const QFontMetrics metrics(list->header()->font());
    for (int c = 0; c < kColumnCount; ++c) {
        const QString heading = list->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_GT(list->header()->sectionSize(c), metrics.horizontalAdvance(heading))
            << heading.toStdString();
    }
    const QModelIndex cut = list->model()->index(0, kColDescription);
    const QPoint at = list->visualRect(cut).center();
    QHelpEvent tip(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &tip);
    EXPECT_EQ(QToolTip::text().toStdString(), longText);
    dlg.CloseProgram();
}

}  // namespace
}  // namespace tarnwatch

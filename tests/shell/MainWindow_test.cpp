// The main window offscreen: rows, columns, buttons, Esc and the close path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <filesystem>

#include "engine/ListFile.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"

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

QApplication& App() {
    static int argc = 1;
    static char name[] = "shell_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
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

TEST_F(MainWindowTest, EmptyStartDisablesRowButtons) {
    fakes::ScopedEnv empty("TARNWATCH_HOME", dir / "empty");
    CTarnwatchDlg dlg(&store);
    EXPECT_FALSE(dlg.findChild<QPushButton*>("removeButton")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("editButton")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("updateButton")->isEnabled());
    dlg.CloseProgram();
    EXPECT_FALSE(std::filesystem::exists(dir / "empty/Tarnwatch.ini"));
}

}  // namespace
}  // namespace tarnwatch

// Drives a property sheet offscreen the way a user does: clicks, typed text,
// tab changes. The file chooser and the sound player are stand-ins that
// record what the pages asked of them.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <vector>

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "fakes/FakePorts.h"
#include "fakes/QtApp.h"

namespace tarnwatch::testing {

using fakes::App;

class DialogDriver {
public:
    DialogDriver() {
        App();
        services.sound = &sound;
        services.chooseFile = [this](QWidget*, const FileChoice& choice) {
            choices.push_back(choice);
            return nextChoice;
        };
    }

    // The named control of the sheet; fails the test when there is none.
    template <class T>
    T* Find(const char* name) const {
        T* w = sheet->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
    QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(name); }
    QString LabelText(const char* name) const { return Find<QLabel>(name)->text(); }

    // Tabs are changed by clicking them, so pages hear it as they would.
    void ShowPage(int index) const {
        QTabBar* bar = sheet->Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        ASSERT_EQ(sheet->Tabs()->currentIndex(), index);
    }
    // A check box or radio takes clicks on its mark and text only, so it is
    // clicked on its mark.
    void Click(const char* name) const {
        QAbstractButton* b = Button(name);
        QPoint at = b->rect().center();
        if (b->isCheckable() && !qobject_cast<QPushButton*>(b)) {
            at.setX(b->isRightToLeft() ? b->width() - 6 : 6);
        }
        QTest::mouseClick(b, Qt::LeftButton, {}, at);
    }
    // Clears the edit and types `text` as keystrokes.
    void Type(const char* name, const QString& text) const {
        QLineEdit* edit = Edit(name);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(edit, c.toLatin1());
            } else {
                // A key of another keyboard layout: only its text matters.
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), {});
            }
        }
    }
    // Picks a service test straight from the drop-down list (one change, as
    // a click on a name in the open list makes).
    void ChooseTest(int index) const {
        Find<QComboBox>("serviceTestCombo")->setCurrentIndex(index);
    }
    bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }
    bool Checked(const char* name) const { return Button(name)->isChecked(); }

    fakes::RecordingSound sound;
    DialogServices services;
    std::vector<FileChoice> choices;
    QString nextChoice;
    CAdvancedDlg* sheet = nullptr;
};

}  // namespace tarnwatch::testing

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
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <map>
#include <string>
#include <utility>
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
        services.showMessage = [this](QWidget*, const std::string& text) {
            messages.push_back(text);
        };
    }

    // The messages shown while `action` runs.
    std::vector<std::string> MessagesDuring(const std::function<void()>& action) {
        messages.clear();
        action();
        return std::exchange(messages, {});
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
    // A label's or a button's words as read, without the mnemonic's marker.
    QString LabelText(const char* name) const { return Plain(Find<QLabel>(name)->text()); }
    QString Text(const char* name) const { return Plain(Button(name)->text()); }
    static QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

    // Every page of the sheet from the keyboard: each label of a control has
    // a mnemonic no other control of its page shares, Alt+the letter of a
    // label reaches the label's control, and Tab from the page's first
    // control to OK stops at no radio button but the checked one of its
    // group. Returns the controls Tab reached on each page, by name.
    std::vector<std::vector<std::string>> WalkEveryPage() const {
        std::vector<std::vector<std::string>> walks;
        for (int index = 0; index < sheet->Tabs()->count(); ++index) {
            ShowPage(index);
            QWidget* page = sheet->Tabs()->widget(index);
            std::map<QChar, std::string> letters;
            for (QWidget* w : page->findChildren<QWidget*>()) {
                auto* label = qobject_cast<QLabel*>(w);
                auto* button = qobject_cast<QAbstractButton*>(w);
                const QString text = button                    ? button->text()
                                     : label && label->buddy() ? label->text()
                                                               : QString();
                if (text.isEmpty() || !w->isVisibleTo(page)) continue;
                const qsizetype at = text.indexOf(QLatin1Char('&'));
                // Every label of an edit or a list has one; two buttons of
                // the same words ("Test") cannot both.
                if (label) {
                    EXPECT_GE(at, 0) << "no mnemonic: " << text.toStdString();
                }
                if (at < 0 || at + 1 >= text.size()) continue;
                const QChar letter = text[at + 1].toLower();
                EXPECT_EQ(letters.count(letter), 0u)
                    << text.toStdString() << " shares its letter with " << letters[letter];
                letters[letter] = text.toStdString();
                if (label && label->buddy()->isEnabled()) {
                    QTest::keyClick(sheet, letter.toLatin1(), Qt::AltModifier);
                    EXPECT_EQ(QApplication::focusWidget(), label->buddy()) << text.toStdString();
                }
            }
            // The walk starts at the page's first control, as it opens.
            sheet->Tabs()->setCurrentIndex(index);
            QWidget* first = page->nextInFocusChain();
            while (first != page && !(first->focusPolicy() & Qt::TabFocus && first->isEnabled() &&
                                      first->isVisibleTo(page))) {
                first = first->nextInFocusChain();
            }
            first->setFocus(Qt::TabFocusReason);
            std::vector<std::string> walk;
            for (int i = 0; i < 60; ++i) {
                QWidget* focus = QApplication::focusWidget();
                if (!focus || focus->objectName() == QLatin1String("okButton")) break;
                walk.push_back(focus->objectName().toStdString());
                if (auto* radio = qobject_cast<QRadioButton*>(focus)) {
                    EXPECT_TRUE(radio->isChecked()) << "Tab stopped at " << walk.back();
                }
                QTest::keyClick(focus, Qt::Key_Tab);
            }
            walks.push_back(walk);
        }
        return walks;
    }

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
    std::vector<std::string> messages;  // every message shown, in order
    CAdvancedDlg* sheet = nullptr;
};

}  // namespace tarnwatch::testing

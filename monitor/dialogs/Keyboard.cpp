// Mnemonics and radio groups for the keyboard; see Keyboard.h.
#include "dialogs/Keyboard.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSet>
#include <algorithm>

namespace tarnwatch {
namespace {

QString TextOf(QWidget* w) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->buddy() ? label->text() : QString();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
    return {};
}

void SetTextOf(QWidget* w, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
    if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(text);
}

// The letter after a single '&' (a doubled one is a literal ampersand).
QChar Mnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
        ++i;
    }
    return {};
}

// The radio buttons that Tab treats as one stop: those of one group.
QList<QRadioButton*> GroupOf(QRadioButton* radio) {
    QList<QRadioButton*> members;
    if (QButtonGroup* group = radio->group()) {
        for (QAbstractButton* b : group->buttons()) {
            if (auto* r = qobject_cast<QRadioButton*>(b)) members << r;
        }
    } else if (radio->autoExclusive() && radio->parentWidget()) {
        members = radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
        members.erase(std::remove_if(members.begin(), members.end(),
                                     [](QRadioButton* r) { return !r->autoExclusive(); }),
                      members.end());
    }
    return members;
}

class RadioTabFilter final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* radio = qobject_cast<QRadioButton*>(watched);
        if (!radio || event->type() != QEvent::FocusIn || radio->isChecked()) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason) return false;
        const QList<QRadioButton*> group = GroupOf(radio);
        QRadioButton* checked = nullptr;
        for (QRadioButton* r : group) {
            if (r->isChecked()) checked = r;
        }
        if (!checked) return false;
        const bool forward = reason == Qt::TabFocusReason;
        // Arriving from inside the group means leaving it; from outside,
        // stopping at its checked button.
        QWidget* from = forward ? radio->previousInFocusChain() : radio->nextInFocusChain();
        const bool leaving = group.contains(qobject_cast<QRadioButton*>(from));
        QWidget* target = checked;
        if (leaving) {
            target = radio;
            while (group.contains(qobject_cast<QRadioButton*>(target)) ||
                   !(target->focusPolicy() & Qt::TabFocus) || !target->isVisible() ||
                   !target->isEnabled()) {
                target = forward ? target->nextInFocusChain() : target->previousInFocusChain();
                if (target == radio) return false;
            }
        }
        target->setFocus(reason);
        return false;
    }
};

}  // namespace

void AssignMnemonics(QWidget* page) {
    if (!page) return;
    QList<QWidget*> texted;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!TextOf(w).isEmpty()) texted << w;
    }
    QSet<QChar> used;
    for (QWidget* w : texted) {
        const QChar m = Mnemonic(TextOf(w));
        if (!m.isNull()) used.insert(m);
    }
    for (QWidget* w : texted) {
        QString text = TextOf(w);
        if (!Mnemonic(text).isNull()) continue;
        qsizetype at = -1;
        // A word's first letter first, then any letter or digit.
        for (int pass = 0; pass < 2 && at < 0; ++pass) {
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text[i];
                const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
                if (c.isLetterOrNumber() && (pass == 1 || wordStart) &&
                    !used.contains(c.toLower())) {
                    at = i;
                    break;
                }
            }
        }
        if (at < 0) continue;
        used.insert(text[at].toLower());
        text.insert(at, QLatin1Char('&'));
        SetTextOf(w, text);
    }
}

void TabToCheckedRadios(QWidget* page) {
    const QString name = QStringLiteral("radioTabFilter");
    if (!page || page->findChild<QObject*>(name, Qt::FindDirectChildrenOnly)) return;
    auto* filter = new RadioTabFilter(page);
    filter->setObjectName(name);
    for (QRadioButton* r : page->findChildren<QRadioButton*>()) r->installEventFilter(filter);
}

}  // namespace tarnwatch

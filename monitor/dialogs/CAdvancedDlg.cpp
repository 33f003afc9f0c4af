// The property sheet.
#include "dialogs/CAdvancedDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/Keyboard.h"

namespace tarnwatch {

CAdvancedDlg::CAdvancedDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    setObjectName(QStringLiteral("propertySheet"));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("sheetPages"));
    layout->addWidget(tabs_);
    auto* buttons = buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    buttons->setObjectName(QStringLiteral("sheetButtons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    applyButton_ = buttons->button(QDialogButtonBox::Apply);
    applyButton_->setObjectName(QStringLiteral("applyButton"));
    applyButton_->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAdvancedDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAdvancedDlg::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &CAdvancedDlg::OnTabChanged);
}

void CAdvancedDlg::AddPage(QWidget* widget, SheetPage* page, const QString& tabTitle) {
    // The tab's own change signal must not reach pages before exec().
    const QSignalBlocker quiet(tabs_);
    tabs_->addTab(widget, tabTitle);
    pages_.push_back(page);
}

void CAdvancedDlg::Start() {
    {
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(0);
    }
    current_ = -1;
    OnTabChanged(tabs_->count() > 0 ? 0 : -1);
    // The pages joined the dialog after its buttons: Tab walks the page first,
    // top to bottom, then OK and Cancel, and the page's first control has the
    // focus when the sheet opens.
    QWidget* last = previousInFocusChain();
    for (QAbstractButton* button : buttons_->buttons()) {
        QWidget::setTabOrder(last, button);
        last = button;
    }
    if (QWidget* page = tabs_->currentWidget()) {
        for (QWidget* w = page->nextInFocusChain(); w != page && page->isAncestorOf(w);
             w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(page)) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
}

int CAdvancedDlg::exec() {
    Start();
    return QDialog::exec();
}

void CAdvancedDlg::open() {
    Start();
    QDialog::open();
}

void CAdvancedDlg::OnTabChanged(int index) {
    if (current_ >= 0 && current_ < static_cast<int>(pages_.size()) && pages_[current_]) {
        pages_[static_cast<std::size_t>(current_)]->OnKillActive();
    }
    current_ = index;
    if (index >= 0 && index < static_cast<int>(pages_.size()) && pages_[index]) {
        pages_[static_cast<std::size_t>(index)]->OnSetActive();
    }
    // After the page has set its words for this showing.
    AssignMnemonics(tabs_->widget(index));
    TabToCheckedRadios(tabs_->widget(index));
}

void CAdvancedDlg::accept() {
    if (current_ >= 0 && current_ < static_cast<int>(pages_.size()) && pages_[current_]) {
        pages_[static_cast<std::size_t>(current_)]->OnKillActive();
    }
    QDialog::accept();
}

}  // namespace tarnwatch

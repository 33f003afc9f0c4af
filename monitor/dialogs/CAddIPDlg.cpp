// The Add IP address dialog.
#include "dialogs/CAddIPDlg.h"

#include <QPushButton>

#include "ui_CAddIPDlg.h"

namespace tarnwatch {

CAddIPDlg::CAddIPDlg(QWidget* parent) : QDialog(parent), ui_(new Ui::CAddIPDlg) {
    ui_->setupUi(this);
    ui_->dialogButtons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    ui_->dialogButtons->button(QDialogButtonBox::Cancel)
        ->setObjectName(QStringLiteral("cancelButton"));
    connect(ui_->dialogButtons, &QDialogButtonBox::accepted, this, &CAddIPDlg::accept);
    connect(ui_->dialogButtons, &QDialogButtonBox::rejected, this, &CAddIPDlg::reject);
}

CAddIPDlg::~CAddIPDlg() {
    delete ui_;
}

void CAddIPDlg::accept() {
    address = ui_->addressEdit->text();
    QDialog::accept();
}

}  // namespace tarnwatch

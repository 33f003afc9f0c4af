// Page "Alert settings" of the Add/Edit sheet.
#include "dialogs/CGlobalPage.h"

#include <QButtonGroup>

#include "dialogs/CAlertPage.h"
#include "dialogs/DialogServices.h"
#include "ui_CGlobalPage.h"

namespace tarnwatch {

CGlobalPage::CGlobalPage(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CGlobalPage>()) {
    ui_->setupUi(this);
    soundGroup_ = new QButtonGroup(this);
    soundGroup_->addButton(ui_->soundIndependentRadio, 0);
    soundGroup_->addButton(ui_->soundUseGlobalRadio, 1);
    batchGroup_ = new QButtonGroup(this);
    batchGroup_->addButton(ui_->batchIndependentRadio, 0);
    batchGroup_->addButton(ui_->batchUseGlobalRadio, 1);
    connect(soundGroup_, &QButtonGroup::idClicked, this, [this](int id) { soundUseGlobal = id; });
    connect(batchGroup_, &QButtonGroup::idClicked, this, [this](int id) { batchUseGlobal = id; });
}

CGlobalPage::~CGlobalPage() = default;

void CGlobalPage::OnInitDialog() {
    // Any non-zero flag means the global settings, as the test cycle reads it.
    CheckRadio(soundGroup_, soundUseGlobal ? 1 : 0);
    CheckRadio(batchGroup_, batchUseGlobal ? 1 : 0);
}

void CGlobalPage::OnSetActive() {
    OnInitDialog();
}

void CGlobalPage::OnKillActive() {
    if (soundPage_) soundPage_->useGlobal = soundUseGlobal;
}

}  // namespace tarnwatch

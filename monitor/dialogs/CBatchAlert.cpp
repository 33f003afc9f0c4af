// Page "Batch Alerts".
#include "dialogs/CBatchAlert.h"

#include <QButtonGroup>

#include "dialogs/AlertFields.h"
#include "dialogs/AlertRefresh.h"
#include "dialogs/CGlobalPage.h"
#include "ui_CBatchAlert.h"

namespace tarnwatch {

CBatchAlert::CBatchAlert(const DialogServices& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CBatchAlert>()), services_(services) {
    ui_->setupUi(this);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->addButton(ui_->noActionRadio, kBatchNone);
    modeGroup_->addButton(ui_->runOnceRadio, kBatchOnce);
    modeGroup_->addButton(ui_->runEveryFailureRadio, kBatchEveryFailure);
    connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        batch.batchMode = id;
        Refresh();
    });
    const auto box = [this](QCheckBox* check, std::int32_t BatchAlert::*member, bool refresh) {
        connect(check, &QCheckBox::clicked, this, [this, member, refresh](bool on) {
            batch.*member = on;
            if (refresh) Refresh();
        });
    };
    box(ui_->batchUnavailableCheck, &BatchAlert::batchOnUnavailable, true);
    box(ui_->batchTimedOutCheck, &BatchAlert::batchOnTimedOut, true);
    box(ui_->batchUnresolvedCheck, &BatchAlert::batchOnUnresolved, true);
    box(ui_->failedCommandWaitCheck, &BatchAlert::failedCommandWait, false);
    box(ui_->okAgainCommandWaitCheck, &BatchAlert::okAgainCommandWait, false);

    ConnectCommandFields(
        this, batch,
        {ui_->failedCommandEdit, ui_->browseFailedCommandButton, ui_->testFailedCommandButton,
         ui_->okAgainCommandEdit, ui_->browseOkAgainCommandButton, ui_->testOkAgainCommandButton},
        services_);
}

CBatchAlert::~CBatchAlert() = default;

void CBatchAlert::OnInitDialog() {
    ui_->batchUnavailableCheck->setChecked(batch.batchOnUnavailable != 0);
    ui_->batchTimedOutCheck->setChecked(batch.batchOnTimedOut != 0);
    ui_->batchUnresolvedCheck->setChecked(batch.batchOnUnresolved != 0);
    CheckRadio(modeGroup_, batch.batchMode);
    ui_->failedCommandEdit->setText(FieldText(batch.failedCommand));
    ui_->okAgainCommandEdit->setText(FieldText(batch.okAgainCommand));
    ui_->failedCommandWaitCheck->setChecked(batch.failedCommandWait != 0);
    ui_->okAgainCommandWaitCheck->setChecked(batch.okAgainCommandWait != 0);
    Refresh();
}

void CBatchAlert::OnSetActive() {
    if (alertSettings_) useGlobal = alertSettings_->batchUseGlobal;
    OnInitDialog();
}

void CBatchAlert::OnKillActive() {
    ReadBack(ui_->failedCommandEdit, batch.failedCommand);
    ReadBack(ui_->okAgainCommandEdit, batch.okAgainCommand);
}

void CBatchAlert::Refresh() {
    const AlertControls controls{
        ui_->batchUnavailableCheck,
        ui_->batchTimedOutCheck,
        ui_->batchUnresolvedCheck,
        ui_->failedCommandLabel,
        ui_->okAgainCommandLabel,
        modeGroup_->buttons(),
        {ui_->failedCommandEdit, ui_->browseFailedCommandButton, ui_->testFailedCommandButton,
         ui_->failedCommandWaitCheck, ui_->okAgainCommandEdit, ui_->browseOkAgainCommandButton,
         ui_->testOkAgainCommandButton, ui_->okAgainCommandWaitCheck},
    };
    RefreshAlertControls(AlertPageKind::kBatch, controls,
                         {useGlobal != 0, general_, batch.batchOnUnavailable, batch.batchOnTimedOut,
                          batch.batchOnUnresolved, batch.batchMode == kBatchNone});
}

}  // namespace tarnwatch

// Page "Sound Alerts".
#include "dialogs/CAlertPage.h"

#include <QButtonGroup>

#include "dialogs/AlertFields.h"
#include "dialogs/AlertRefresh.h"
#include "dialogs/CGlobalPage.h"
#include "ui_CAlertPage.h"

namespace tarnwatch {

CAlertPage::CAlertPage(const DialogServices& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CAlertPage>()), services_(services) {
    ui_->setupUi(this);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->addButton(ui_->noSoundRadio, kSoundNone);
    modeGroup_->addButton(ui_->playOnceRadio, kSoundOnce);
    modeGroup_->addButton(ui_->playEveryFailureRadio, kSoundEveryFailure);
    modeGroup_->addButton(ui_->playContinuousRadio, kSoundContinuous);
    connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        sound.soundMode = id;
        Refresh();
    });
    const auto box = [this](QCheckBox* check, std::int32_t SoundAlert::*member) {
        connect(check, &QCheckBox::clicked, this, [this, member](bool on) {
            sound.*member = on;
            Refresh();
        });
    };
    box(ui_->soundUnavailableCheck, &SoundAlert::soundOnUnavailable);
    box(ui_->soundTimedOutCheck, &SoundAlert::soundOnTimedOut);
    box(ui_->soundUnresolvedCheck, &SoundAlert::soundOnUnresolved);

    ConnectSoundFields(
        this, sound,
        {ui_->failedSoundEdit, ui_->browseFailedSoundButton, ui_->playFailedSoundButton,
         ui_->okAgainSoundEdit, ui_->browseOkAgainSoundButton, ui_->playOkAgainSoundButton},
        services_);
}

CAlertPage::~CAlertPage() = default;

void CAlertPage::OnInitDialog() {
    ui_->soundUnavailableCheck->setChecked(sound.soundOnUnavailable != 0);
    ui_->soundTimedOutCheck->setChecked(sound.soundOnTimedOut != 0);
    ui_->soundUnresolvedCheck->setChecked(sound.soundOnUnresolved != 0);
    CheckRadio(modeGroup_, sound.soundMode);
    ui_->failedSoundEdit->setText(FieldText(sound.failedSound));
    ui_->okAgainSoundEdit->setText(FieldText(sound.okAgainSound));
    Refresh();
}

void CAlertPage::OnSetActive() {
    if (alertSettings_) useGlobal = alertSettings_->soundUseGlobal;
    OnInitDialog();
}

void CAlertPage::OnKillActive() {
    ReadBack(ui_->failedSoundEdit, sound.failedSound);
    ReadBack(ui_->okAgainSoundEdit, sound.okAgainSound);
}

void CAlertPage::Refresh() {
    const AlertControls controls{
        ui_->soundUnavailableCheck,
        ui_->soundTimedOutCheck,
        ui_->soundUnresolvedCheck,
        ui_->failedSoundLabel,
        ui_->okAgainSoundLabel,
        modeGroup_->buttons(),
        {ui_->failedSoundEdit, ui_->browseFailedSoundButton, ui_->playFailedSoundButton,
         ui_->okAgainSoundEdit, ui_->browseOkAgainSoundButton, ui_->playOkAgainSoundButton},
    };
    RefreshAlertControls(AlertPageKind::kSound, controls,
                         {useGlobal != 0, general_, sound.soundOnUnavailable, sound.soundOnTimedOut,
                          sound.soundOnUnresolved, sound.soundMode == kSoundNone});
}

}  // namespace tarnwatch

// The Internet page of the Global Options sheet.
#include "dialogs/CInternetPage.h"

#include <QButtonGroup>
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "dialogs/AlertFields.h"
#include "dialogs/CAddIPDlg.h"
#include "res/StringTable.h"
#include "ui_CInternetPage.h"

namespace tarnwatch {
namespace {

// Only blanks and tabs: an address may legitimately end in other characters
// that QString::trimmed() would take away.
QString TrimBlanksAndTabs(const QString& text) {
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first])) ++first;
    while (last > first && isBlank(text[last - 1])) --last;
    return text.mid(first, last - first);
}

}  // namespace

CInternetPage::CInternetPage(const DialogServices& services, QWidget* parent)
    : QWidget(parent), ui_(new Ui::CInternetPage), services_(services) {
    ui_->setupUi(this);

    messageBoxModes_ = new QButtonGroup(this);
    messageBoxModes_->addButton(ui_->noMessageBoxRadio, kMessageBoxNone);
    messageBoxModes_->addButton(ui_->messageBoxOnceRadio, kMessageBoxOnce);
    messageBoxModes_->addButton(ui_->messageBoxEveryFailureRadio, kMessageBoxEveryFailure);
    soundModes_ = new QButtonGroup(this);
    soundModes_->addButton(ui_->internetNoSoundRadio, kSoundNone);
    soundModes_->addButton(ui_->internetPlayOnceRadio, kSoundOnce);
    soundModes_->addButton(ui_->internetPlayEveryFailureRadio, kSoundEveryFailure);
    soundModes_->addButton(ui_->internetPlayContinuousRadio, kSoundContinuous);
    batchModes_ = new QButtonGroup(this);
    batchModes_->addButton(ui_->internetNoActionRadio, kBatchNone);
    batchModes_->addButton(ui_->internetRunOnceRadio, kBatchOnce);
    batchModes_->addButton(ui_->internetRunEveryFailureRadio, kBatchEveryFailure);

    connect(messageBoxModes_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) alerts.messageBoxMode = id;
    });
    connect(soundModes_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        alerts.sound.soundMode = id;
        Refresh();
    });
    connect(batchModes_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        alerts.batch.batchMode = id;
        Refresh();
    });
    connect(ui_->messageBoxWhenAvailableCheck, &QCheckBox::toggled, this,
            [this](bool on) { alerts.messageBoxWhenAvailable = on ? 1 : 0; });
    connect(ui_->unavailableCommandWaitCheck, &QCheckBox::toggled, this,
            [this](bool on) { alerts.batch.failedCommandWait = on ? 1 : 0; });
    connect(ui_->availableCommandWaitCheck, &QCheckBox::toggled, this,
            [this](bool on) { alerts.batch.okAgainCommandWait = on ? 1 : 0; });

    connect(ui_->addAddressButton, &QPushButton::clicked, this, &CInternetPage::OnAdd);
    connect(ui_->removeAddressButton, &QPushButton::clicked, this, &CInternetPage::OnRemove);

    ConnectSoundFields(this, alerts.sound,
                       {ui_->unavailableSoundEdit, ui_->browseUnavailableSoundButton,
                        ui_->playUnavailableSoundButton, ui_->availableSoundEdit,
                        ui_->browseAvailableSoundButton, ui_->playAvailableSoundButton},
                       services_);
    ConnectCommandFields(this, alerts.batch,
                         {ui_->unavailableCommandEdit, ui_->browseUnavailableCommandButton,
                          ui_->testUnavailableCommandButton, ui_->availableCommandEdit,
                          ui_->browseAvailableCommandButton, ui_->testAvailableCommandButton},
                         services_);
}

CInternetPage::~CInternetPage() {
    delete ui_;
}

void CInternetPage::OnInitDialog() {
    addressCount = std::clamp(addressCount, 0, kMaxInternetAddresses);
    for (int i = 0; i < kMaxInternetAddresses; ++i) {
        if (i >= addressCount) std::memset(addresses[i], 0, kTextSize);
        addresses[i][kTextSize - 1] = '\0';
    }
    ShowAddresses();

    // Taken first: checking a box or a radio writes its member back.
    const InternetAlerts shown = alerts;
    CheckRadio(messageBoxModes_, shown.messageBoxMode);
    CheckRadio(soundModes_, shown.sound.soundMode);
    CheckRadio(batchModes_, shown.batch.batchMode);
    ui_->messageBoxWhenAvailableCheck->setChecked(shown.messageBoxWhenAvailable != 0);
    ui_->unavailableCommandWaitCheck->setChecked(shown.batch.failedCommandWait != 0);
    ui_->availableCommandWaitCheck->setChecked(shown.batch.okAgainCommandWait != 0);
    alerts.messageBoxWhenAvailable = shown.messageBoxWhenAvailable != 0 ? 1 : 0;
    alerts.batch.failedCommandWait = shown.batch.failedCommandWait != 0 ? 1 : 0;
    alerts.batch.okAgainCommandWait = shown.batch.okAgainCommandWait != 0 ? 1 : 0;
    ui_->unavailableSoundEdit->setText(FieldText(alerts.sound.failedSound));
    ui_->availableSoundEdit->setText(FieldText(alerts.sound.okAgainSound));
    ui_->unavailableCommandEdit->setText(FieldText(alerts.batch.failedCommand));
    ui_->availableCommandEdit->setText(FieldText(alerts.batch.okAgainCommand));
    Refresh();
}

void CInternetPage::OnKillActive() {
    ReadBack(ui_->unavailableSoundEdit, alerts.sound.failedSound);
    ReadBack(ui_->availableSoundEdit, alerts.sound.okAgainSound);
    ReadBack(ui_->unavailableCommandEdit, alerts.batch.failedCommand);
    ReadBack(ui_->availableCommandEdit, alerts.batch.okAgainCommand);
}

void CInternetPage::ShowAddresses() {
    ui_->addressList->clear();
    for (int i = 0; i < addressCount; ++i) {
        ui_->addressList->addItem(FieldText(addresses[i]));
    }
}

void CInternetPage::OnAdd() {
    if (addressCount >= kMaxInternetAddresses) {
        TellUser(this, LoadString(IDS_MAX_ADDRESSES), services_);
        return;
    }
    CAddIPDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.address.isEmpty()) return;
    const QString address = TrimBlanksAndTabs(dialog.address);
    if (address.isEmpty()) {
        TellUser(this, LoadString(IDS_ADDRESS_BLANK), services_);
        return;
    }
    // Cutting an address to fit would make the gate ping a different host
    // than the one the user typed, so a long one is refused whole.
    const QByteArray bytes = address.toLocal8Bit();
    if (bytes.size() > static_cast<qsizetype>(kTextSize - 1)) {
        TellUser(this, LoadString(IDS_ADDRESS_TOO_LONG), services_);
        return;
    }
    char* slot = addresses[addressCount];
    CopyText(slot, kTextSize, bytes.constData());
    ui_->addressList->addItem(FieldText(slot, kTextSize));
    ++addressCount;
}

void CInternetPage::OnRemove() {
    const QModelIndexList selected = ui_->addressList->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    const int row = selected.constFirst().row();
    if (row < 0 || row >= addressCount) return;
    for (int i = row; i + 1 < addressCount; ++i) {
        std::memcpy(addresses[i], addresses[i + 1], kTextSize);
    }
    delete ui_->addressList->takeItem(row);
    --addressCount;
    std::memset(addresses[addressCount], 0, kTextSize);
    ui_->addressList->clearSelection();
    ui_->addressList->setCurrentRow(-1);
}

void CInternetPage::Refresh() {
    const bool sound = alerts.sound.soundMode != kSoundNone;
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_->unavailableSoundEdit, ui_->availableSoundEdit, ui_->browseUnavailableSoundButton,
             ui_->browseAvailableSoundButton, ui_->playUnavailableSoundButton,
             ui_->playAvailableSoundButton}) {
        control->setEnabled(sound);
    }
    const bool batch = alerts.batch.batchMode != kBatchNone;
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_->unavailableCommandEdit, ui_->availableCommandEdit,
             ui_->browseUnavailableCommandButton, ui_->browseAvailableCommandButton,
             ui_->testUnavailableCommandButton, ui_->testAvailableCommandButton,
             ui_->unavailableCommandWaitCheck, ui_->availableCommandWaitCheck}) {
        control->setEnabled(batch);
    }
}

}  // namespace tarnwatch

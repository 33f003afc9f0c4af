// The "Global Options" sheet.
#include "dialogs/GlobalOptionsSheet.h"

#include <cstring>

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/CAlertPage.h"
#include "dialogs/CBatchAlert.h"
#include "dialogs/CInternetPage.h"
#include "dialogs/OptionsDlg.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {

GlobalOptionsSheet::GlobalOptionsSheet(const GlobalSettings& settings,
                                       const DialogServices& services, QWidget* parent)
    : SheetHolder(new CAdvancedDlg(TableText(IDS_GLOBAL_OPTIONS), parent)),
      general_(new OptionsDlg),
      sound_(new CAlertPage(services)),
      batch_(new CBatchAlert(services)),
      internet_(new CInternetPage(services)) {
    general_->setObjectName(QStringLiteral("generalPage"));
    general_->startup = settings.startup;
    general_->minimize = settings.minimize;
    general_->disableClose = settings.disableClose;
    general_->restore = settings.restore;
    general_->autoMove = settings.autoMove;
    general_->autoDisable = settings.autoDisable;
    general_->notify = settings.notify;
    general_->intervals[kFrequencyOnDemand] = 0;
    general_->intervals[kFrequencyLow] = settings.lowInterval;
    general_->intervals[kFrequencyMedium] = settings.mediumInterval;
    general_->intervals[kFrequencyHigh] = settings.highInterval;
    general_->parallelTests = settings.parallelTests;
    general_->OnInitDialog();

    // Left without links, the alert pages show the global form of their
    // captions and never take the global settings' place.
    sound_->sound = settings.alerts.sound;
    sound_->useGlobal = 0;
    batch_->batch = settings.alerts.batch;
    batch_->useGlobal = 0;

    internet_->setObjectName(QStringLiteral("internetPage"));
    internet_->addressCount = settings.internetAddressCount;
    std::memcpy(internet_->addresses, settings.internetAddresses, sizeof internet_->addresses);
    internet_->alerts = settings.internetAlerts;
    internet_->OnInitDialog();

    sheet_->AddPage(general_, general_, TableText(IDS_PAGE_GENERAL));
    sheet_->AddPage(sound_, sound_, TableText(IDS_PAGE_SOUND_ALERTS));
    sheet_->AddPage(batch_, batch_, TableText(IDS_PAGE_BATCH_ALERTS));
    sheet_->AddPage(internet_, internet_, TableText(IDS_PAGE_INTERNET));
}

void GlobalOptionsSheet::CopyBack(GlobalSettings& s) const {
    if (!Alive()) return;
    s.startup = general_->startup;
    s.minimize = general_->minimize;
    s.disableClose = general_->disableClose;
    s.restore = general_->restore;
    s.autoMove = general_->autoMove;
    s.autoDisable = general_->autoDisable;
    s.notify = general_->notify;
    s.lowInterval = general_->intervals[kFrequencyLow];
    s.mediumInterval = general_->intervals[kFrequencyMedium];
    s.highInterval = general_->intervals[kFrequencyHigh];
    s.parallelTests = general_->parallelTests;
    s.alerts.sound = sound_->sound;
    s.alerts.batch = batch_->batch;
    s.internetAddressCount = internet_->addressCount;
    std::memcpy(s.internetAddresses, internet_->addresses, sizeof s.internetAddresses);
    s.internetAlerts = internet_->alerts;
}

bool RunGlobalOptionsSheet(QWidget* parent, GlobalSettings& settings,
                           const DialogServices& services) {
    GlobalOptionsSheet sheet(settings, services, parent);
    return RunSheet(sheet, settings);
}

}  // namespace tarnwatch

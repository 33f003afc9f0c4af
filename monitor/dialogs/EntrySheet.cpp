// The "Add/Edit" sheet.
#include "dialogs/EntrySheet.h"

#include "dialogs/CAddEditDlg.h"
#include "dialogs/CAdvancedDlg.h"
#include "dialogs/CAlertPage.h"
#include "dialogs/CBatchAlert.h"
#include "dialogs/CGlobalPage.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

// CopyText zero-pads, so no trace of an earlier, longer text stays in the
// record (and from there in the list file).
SoundAlert Padded(const SoundAlert& s) {
    SoundAlert out = s;
    CopyText(out.failedSound, s.failedSound);
    CopyText(out.okAgainSound, s.okAgainSound);
    return out;
}

BatchAlert Padded(const BatchAlert& b) {
    BatchAlert out = b;
    CopyText(out.failedCommand, b.failedCommand);
    CopyText(out.okAgainCommand, b.okAgainCommand);
    return out;
}

}  // namespace

EntrySheet::EntrySheet(const ServiceItem& entry, const DialogServices& services, QWidget* parent)
    : SheetHolder(new CAdvancedDlg(TableText(IDS_SHEET_ADD_EDIT), parent)),
      general_(new CAddEditDlg(services)),
      alertSettings_(new CGlobalPage),
      sound_(new CAlertPage(services)),
      batch_(new CBatchAlert(services)) {
    general_->sourceKind = entry.sourceKind;
    CopyText(general_->source, entry.source);
    CopyText(general_->timeoutText, entry.timeoutText);
    CopyText(general_->address, entry.address);
    CopyText(general_->description, entry.description);
    general_->enabled = entry.enabled;
    general_->serviceTest = entry.serviceTest;
    general_->attempts = entry.attempts;
    general_->verifyService = entry.verifyService;
    general_->frequency = entry.frequency;
    general_->checkInternet = entry.checkInternet;

    alertSettings_->soundUseGlobal = entry.soundUseGlobal;
    alertSettings_->batchUseGlobal = entry.batchUseGlobal;
    sound_->sound = Padded(entry.alerts.sound);
    sound_->useGlobal = entry.soundUseGlobal;
    batch_->batch = Padded(entry.alerts.batch);
    batch_->useGlobal = entry.batchUseGlobal;

    alertSettings_->SetSoundPage(sound_);
    sound_->SetAlertSettingsPage(alertSettings_);
    sound_->SetGeneralPage(general_);
    batch_->SetAlertSettingsPage(alertSettings_);
    batch_->SetGeneralPage(general_);

    sheet_->AddPage(general_, general_, TableText(IDS_PAGE_GENERAL));
    sheet_->AddPage(alertSettings_, alertSettings_, TableText(IDS_PAGE_ALERT_SETTINGS));
    sheet_->AddPage(sound_, sound_, TableText(IDS_PAGE_SOUND_ALERTS));
    sheet_->AddPage(batch_, batch_, TableText(IDS_PAGE_BATCH_ALERTS));
}

void EntrySheet::CopyBack(ServiceItem& entry) const {
    if (!Alive()) return;
    entry.sourceKind = general_->sourceKind;
    CopyText(entry.source, general_->source);
    CopyText(entry.timeoutText, general_->timeoutText);
    CopyText(entry.address, general_->address);
    CopyText(entry.description, general_->description);
    entry.enabled = general_->enabled;
    entry.serviceTest = general_->serviceTest;
    entry.attempts = general_->attempts;
    entry.verifyService = general_->verifyService;
    entry.frequency = general_->frequency;
    entry.checkInternet = general_->checkInternet;
    entry.soundUseGlobal = alertSettings_->soundUseGlobal;
    entry.batchUseGlobal = alertSettings_->batchUseGlobal;
    entry.alerts.sound = Padded(sound_->sound);
    entry.alerts.batch = Padded(batch_->batch);
}

bool RunEntrySheet(QWidget* parent, ServiceItem& entry, const DialogServices& services) {
    EntrySheet sheet(entry, services, parent);
    return RunSheet(sheet, entry);
}

}  // namespace tarnwatch

// The "Add/Edit" sheet for one entry: pages General, Alert settings, Sound
// Alerts and Batch Alerts, loaded from a copy of the entry and linked to one
// another. The entry changes only through CopyBack, and RunEntrySheet calls
// it only when the sheet ends with OK.
#pragma once

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "engine/ServiceItem.h"

class QWidget;

namespace tarnwatch {

class CAddEditDlg;
class CAlertPage;
class CBatchAlert;
class CGlobalPage;

class EntrySheet final : public SheetHolder {
public:
    EntrySheet(const ServiceItem& entry, const DialogServices& services, QWidget* parent = nullptr);

    CAddEditDlg* General() const { return general_; }
    CGlobalPage* AlertSettings() const { return alertSettings_; }
    CAlertPage* Sound() const { return sound_; }
    CBatchAlert* Batch() const { return batch_; }

    // Writes what the pages edit: the General fields, both use-global flags
    // and the alert block. Run-time fields (state, row, attempt, last test
    // time) are never touched. Texts are stored zero-padded.
    void CopyBack(ServiceItem& entry) const;

private:
    CAddEditDlg* general_;
    CGlobalPage* alertSettings_;
    CAlertPage* sound_;
    CBatchAlert* batch_;
};

// Runs the sheet modally on `entry`; on OK copies the edits back and returns
// true, otherwise leaves the entry as it was.
bool RunEntrySheet(QWidget* parent, ServiceItem& entry, const DialogServices& services);

}  // namespace tarnwatch

// The "Global Options" sheet: pages General, Sound Alerts, Batch Alerts and
// Internet over a copy of the global settings. The settings change only
// through CopyBack, and RunGlobalOptionsSheet calls it only when the sheet
// ends with OK.
#pragma once

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "engine/Settings.h"

class QWidget;

namespace tarnwatch {

class CAlertPage;
class CBatchAlert;
class CInternetPage;
class OptionsDlg;

class GlobalOptionsSheet final : public SheetHolder {
public:
    GlobalOptionsSheet(const GlobalSettings& settings, const DialogServices& services,
                       QWidget* parent = nullptr);

    OptionsDlg* General() const { return general_; }
    CAlertPage* Sound() const { return sound_; }
    CBatchAlert* Batch() const { return batch_; }
    CInternetPage* Internet() const { return internet_; }

    // Writes what the pages edit: the six run and control options, the
    // three class intervals, the global sound and batch alerts, the Internet
    // addresses with their count and the Internet alerts. The list columns
    // are never touched.
    void CopyBack(GlobalSettings& s) const;

private:
    OptionsDlg* general_;
    CAlertPage* sound_;
    CBatchAlert* batch_;
    CInternetPage* internet_;
};

// Runs the sheet modally on `settings`; on OK copies the pages back and
// returns true, otherwise leaves the settings as they were.
bool RunGlobalOptionsSheet(QWidget* parent, GlobalSettings& settings,
                           const DialogServices& services);

}  // namespace tarnwatch

// The "Global Options" sheet: pages General, Sound Alerts, Batch Alerts and
// Internet over a copy of the global settings. The settings change only
// through CopyBack, and RunGlobalOptionsSheet calls it only when the sheet
// ends with OK.
#pragma once

#include <QPointer>

#include "dialogs/DialogServices.h"
#include "engine/Settings.h"

class QWidget;

namespace tarnwatch {

class CAdvancedDlg;
class CAlertPage;
class CBatchAlert;
class CInternetPage;
class OptionsDlg;

class GlobalOptionsSheet {
public:
    GlobalOptionsSheet(const GlobalSettings& settings, const DialogServices& services,
                       QWidget* parent = nullptr);
    ~GlobalOptionsSheet();
    GlobalOptionsSheet(const GlobalOptionsSheet&) = delete;
    GlobalOptionsSheet& operator=(const GlobalOptionsSheet&) = delete;

    // False once the sheet has gone with its parent window.
    bool Alive() const { return !sheet_.isNull(); }
    CAdvancedDlg& Sheet() const { return *sheet_; }
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
    QPointer<CAdvancedDlg> sheet_;
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

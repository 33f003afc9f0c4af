// Page "Sound Alerts": which failures sound, how often, and which sounds
// play on failure and on recovery. It edits an entry's own sound settings in
// the Add/Edit sheet, linked to that sheet's Alert-settings and General
// pages, and the global sound settings in the Global Options sheet, where it
// has no links and `useGlobal` stays 0.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "dialogs/AlertPageLinks.h"
#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "engine/ServiceItem.h"

class QButtonGroup;
class QLineEdit;

namespace Ui {
class CAlertPage;
}

namespace tarnwatch {

class CAddEditDlg;
class CGlobalPage;

class CAlertPage final : public QWidget, public SheetPage, public AlertPageLinks {
    Q_OBJECT
public:
    explicit CAlertPage(const DialogServices& services, QWidget* parent = nullptr);
    ~CAlertPage() override;

    // soundSpare is carried unchanged and never shown.
    SoundAlert sound{};
    // Shows the members and refreshes; runs each time the page is shown.
    void OnInitDialog();
    void OnSetActive() override;
    // Reads both sound names back.
    void OnKillActive() override;

private:
    void Refresh();

    std::unique_ptr<Ui::CAlertPage> ui_;
    DialogServices services_;
    QButtonGroup* modeGroup_;
};

}  // namespace tarnwatch

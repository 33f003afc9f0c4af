// Page "Sound Alerts": which failures sound, how often, and which sounds
// play on failure and on recovery. It edits an entry's own sound settings in
// the Add/Edit sheet, linked to that sheet's Alert-settings and General
// pages, and the global sound settings in the Global Options sheet, where it
// has no links and `useGlobal` stays 0.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

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

class CAlertPage final : public QWidget, public SheetPage {
    Q_OBJECT
public:
    explicit CAlertPage(const DialogServices& services, QWidget* parent = nullptr);
    ~CAlertPage() override;

    // soundSpare is carried unchanged and never shown.
    SoundAlert sound{};
    // 1: the global settings apply and nothing on the page can be chosen.
    std::int32_t useGlobal = 0;

    // Where `useGlobal` comes from each time the page is shown.
    void SetAlertSettingsPage(const CGlobalPage* page) { alertSettings_ = page; }
    // Whose kind of test decides the captions and labels.
    void SetGeneralPage(const CAddEditDlg* page) { general_ = page; }
    const CGlobalPage* AlertSettingsPage() const { return alertSettings_; }
    const CAddEditDlg* GeneralPage() const { return general_; }

    // Shows the members and refreshes; runs each time the page is shown.
    void OnInitDialog();
    void OnSetActive() override;
    // Reads both sound names back.
    void OnKillActive() override;

private:
    void Refresh();
    void Browse(char (&member)[kTextSize], QLineEdit* edit);

    std::unique_ptr<Ui::CAlertPage> ui_;
    DialogServices services_;
    QButtonGroup* modeGroup_;
    const CGlobalPage* alertSettings_ = nullptr;
    const CAddEditDlg* general_ = nullptr;
};

}  // namespace tarnwatch

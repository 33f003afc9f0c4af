// Page "Alert settings" of the Add/Edit sheet: whether the entry's sound
// alerts and batch alerts follow the global settings or its own. The choice
// shows on the Sound and Batch pages when they are next shown.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "dialogs/CAdvancedDlg.h"

class QButtonGroup;

namespace Ui {
class CGlobalPage;
}

namespace tarnwatch {

class CAlertPage;

class CGlobalPage final : public QWidget, public SheetPage {
    Q_OBJECT
public:
    explicit CGlobalPage(QWidget* parent = nullptr);
    ~CGlobalPage() override;

    // 0: configure independent settings; 1: use the global settings.
    std::int32_t soundUseGlobal = 0;
    std::int32_t batchUseGlobal = 0;

    // The sheet's Sound page, told the sound choice when this page is left.
    void SetSoundPage(CAlertPage* page) { soundPage_ = page; }

    // Shows the members; runs each time the page is shown.
    void OnInitDialog();
    void OnSetActive() override;
    void OnKillActive() override;

private:
    std::unique_ptr<Ui::CGlobalPage> ui_;
    QButtonGroup* soundGroup_;
    QButtonGroup* batchGroup_;
    CAlertPage* soundPage_ = nullptr;
};

}  // namespace tarnwatch

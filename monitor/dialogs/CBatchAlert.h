// Page "Batch Alerts": which failures run a program, how often, which
// programs run on failure and on recovery, and whether to wait for them. It
// edits an entry's own batch settings in the Add/Edit sheet, linked to that
// sheet's Alert-settings and General pages, and the global batch settings in
// the Global Options sheet, where it has no links and `useGlobal` stays 0.
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
class CBatchAlert;
}

namespace tarnwatch {

class CAddEditDlg;
class CGlobalPage;

class CBatchAlert final : public QWidget, public SheetPage, public AlertPageLinks {
    Q_OBJECT
public:
    explicit CBatchAlert(const DialogServices& services, QWidget* parent = nullptr);
    ~CBatchAlert() override;

    // batchSpare is carried unchanged and never shown.
    BatchAlert batch{};
    // Shows the members and refreshes; runs each time the page is shown.
    void OnInitDialog();
    void OnSetActive() override;
    // Reads both commands back.
    void OnKillActive() override;

private:
    void Refresh();

    std::unique_ptr<Ui::CBatchAlert> ui_;
    DialogServices services_;
    QButtonGroup* modeGroup_;
};

}  // namespace tarnwatch

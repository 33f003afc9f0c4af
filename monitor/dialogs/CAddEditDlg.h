// Page "General" of the Add/Edit sheet: what an entry tests, where, how
// often and how patiently. The caller fills the members before the sheet
// runs and reads them after OK; the page edits nothing else.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "engine/ServiceItem.h"

class QButtonGroup;

namespace Ui {
class CAddEditDlg;
}

namespace tarnwatch {

class CAddEditDlg final : public QWidget, public SheetPage {
    Q_OBJECT
public:
    explicit CAddEditDlg(const DialogServices& services, QWidget* parent = nullptr);
    ~CAddEditDlg() override;

    std::int32_t sourceKind = kSourceTcpPort;  // SourceKind
    char source[kTextSize] = "";
    char timeoutText[kTimeoutTextSize] = "";
    char address[kTextSize] = "";
    char description[kTextSize] = "";
    std::int32_t enabled = 0;
    std::int32_t serviceTest = 0;
    std::int32_t attempts = 0;
    std::int32_t verifyService = 0;
    std::int32_t frequency = kFrequencyOnDemand;  // Frequency
    std::int32_t checkInternet = 0;

    // Shows the members. Runs when the page is first shown; being shown
    // again keeps what the user has entered.
    void OnInitDialog();
    void OnSetActive() override;
    // Reads the edits back into the members.
    void OnKillActive() override;

private:
    void ReadBackControls();
    void OnServiceTestChanged();
    void RefreshSourceKind();
    void OnBrowse();

    std::unique_ptr<Ui::CAddEditDlg> ui_;
    DialogServices services_;
    QButtonGroup* frequencyGroup_;
    bool initialised_ = false;
};

}  // namespace tarnwatch

// The "Internet" page of the Global Options sheet: the addresses pinged to
// decide whether the Internet is reachable, and the message box, sound and
// command that report a change.
#pragma once

#include <QWidget>
#include <cstdint>

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/DialogServices.h"
#include "engine/Settings.h"

class QButtonGroup;
class QLineEdit;

namespace Ui {
class CInternetPage;
}

namespace tarnwatch {

class CInternetPage final : public QWidget, public SheetPage {
    Q_OBJECT
public:
    explicit CInternetPage(const DialogServices& services, QWidget* parent = nullptr);
    ~CInternetPage() override;

    // Shows the members. A damaged count is brought into 0..10 and every
    // slot from the count on is blanked, so the list never reaches past the
    // table.
    void OnInitDialog();
    // What was typed into the four file fields is what gets stored.
    void OnKillActive() override;

    // Slots 0 .. addressCount-1 are in use, in list order.
    std::int32_t addressCount = 0;
    char addresses[kMaxInternetAddresses][kTextSize]{};
    // The three failure enables of each half and both spares are carried
    // through unchanged.
    InternetAlerts alerts;

private:
    void OnAdd();
    void OnRemove();
    void Refresh();
    void ShowAddresses();

    Ui::CInternetPage* ui_;
    DialogServices services_;
    QButtonGroup* messageBoxModes_;
    QButtonGroup* soundModes_;
    QButtonGroup* batchModes_;
};

}  // namespace tarnwatch

// The main window: renders the engine's state and forwards the user's
// commands to it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#include "engine/MonitorEngine.h"
#include "shell/CanberraSound.h"
#include "shell/DesktopNotifier.h"
#include "shell/MetricsOutput.h"
#include "shell/NotificationIcon.h"
#include "shell/QtPorts.h"
#include "shell/RowsModel.h"
#include "shell/SleepWatch.h"

namespace Ui {
class TarnwatchDlg;
}

namespace tarnwatch {

class CTarnwatchDlg final : public QDialog, public EngineObserver {
    Q_OBJECT
public:
    // `clock` (the system's when null) and `sheets` (the real property
    // sheets when null) outlive the window.
    explicit CTarnwatchDlg(SettingsStore* store = nullptr, Clock* clock = nullptr,
                           SheetPort* sheets = nullptr, QWidget* parent = nullptr);
    ~CTarnwatchDlg() override;

    MonitorEngine& Engine() { return *engine_; }
    // Where the metrics go after each pass; the current state goes at once.
    void SetMetricsOutput(std::unique_ptr<MetricsOutput> metrics);
    // The program's one way out: termination signals, the session's end,
    // Close and the icon's exit where allowed, the close timer. While a
    // pass, sheet or message runs, the close is held, the open windows end
    // as if cancelled, and the close goes ahead once they have unwound. The
    // shutdown then saves the settings and the list, and the application's
    // event loop ends. Safe to call any number of times.
    void CloseProgram();
    // The session manager's save request: settings and list are saved, and
    // the program goes on (the logout may yet be cancelled).
    void SaveForSession();
    // The notification icon, where a notification area may show one.
    NotificationIcon* Icon() { return tray_.get(); }

    // EngineObserver
    void RowsReset() override;
    void RowChanged(int row) override;
    void RowsInserted(int first, int count) override;
    void RowRemoved(int row) override;
    void RowMoved(int from, int to) override;
    void OptionsApplied() override;
    void StateChanged() override;
    void ScheduleChanged() override;
    void RowVisited(int row) override;
    void PassEnded() override;
    void TrayIconChanged(bool shown) override;
    void CloseRequested() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void changeEvent(QEvent* event) override;

private:
    void BuildList();
    void ShowAbout();
    // The icon's tool tip (with what is silenced) and its menu's resume item.
    void ShowIconState();
    void ApplyCloseOption();
    void ColumnsShown(std::array<std::int32_t, kColumnCount>& positions,
                      std::array<std::int32_t, kColumnCount>& widths) const;
    // The list's current row changed (a click or the arrow keys).
    void OnCurrentRowChanged(const QModelIndex& current);

    std::unique_ptr<Ui::TarnwatchDlg> ui_;
    std::unique_ptr<Clock> ownClock_;
    QtTimerPort timers_;
    QtPump pump_;
    std::unique_ptr<QtMessageBox> messageBox_;
    QtWaitCursor waitCursor_;
    std::unique_ptr<QtWindowPort> windowPort_;
    std::unique_ptr<CanberraSound> sound_;
    std::unique_ptr<DesktopNotifier> notifier_;
    SleepWatch sleepWatch_;
    std::unique_ptr<SheetPort> ownSheets_;
    std::unique_ptr<MonitorEngine> engine_;
    std::unique_ptr<RowsModel> model_;
    std::unique_ptr<NotificationIcon> tray_;
    // Sweeps away modal windows opened after a close was held, until the
    // close has gone ahead.
    QTimer closeSweep_;
    bool ended_ = false;
    std::unique_ptr<MetricsOutput> metrics_;  // ends before the engine it reads
    int lastVisitedRow_ = -1;
    // True while the window itself moves the list's current row, so that the
    // move is not taken for the user's.
    bool showingSelection_ = false;
    QElapsedTimer repaintClock_;
};

}  // namespace tarnwatch

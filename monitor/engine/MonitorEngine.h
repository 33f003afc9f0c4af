// The monitor's controller without any user interface: it owns the entry
// collection, the global settings, the list rows as plain data and the main
// window's state, and runs start-up and shutdown. The shell renders what it
// holds and forwards the user's commands to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/AlertActions.h"
#include "engine/AlertSilence.h"
#include "engine/EntryCollection.h"
#include "engine/InternetGate.h"
#include "engine/ListFile.h"
#include "engine/ListOrder.h"
#include "engine/ListWriter.h"
#include "engine/Ports.h"
#include "engine/RowDisplay.h"
#include "engine/Scheduler.h"
#include "engine/ServiceItem.h"
#include "engine/Settings.h"
#include "engine/StatusHistory.h"

namespace tarnwatch {

// Where the global settings persist. Without one, the defaults stand.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual void ReadSettings(GlobalSettings& settings) = 0;
    virtual void WriteListAndAlertSettings(const GlobalSettings& settings) = 0;
    // The run and control options and the intervals; the autostart entry
    // follows "Startup" when it differs from `startupBefore`.
    virtual void WriteRunOptions(const GlobalSettings& settings, int startupBefore) = 0;
};

// What the user interface is told.
class EngineObserver {
public:
    virtual ~EngineObserver() = default;
    virtual void RowsReset() = 0;          // every row may have changed
    virtual void RowChanged(int row) = 0;  // one row's image or cells
    // Rows added, taken out or moved; the rows in between follow. Observers
    // that keep no per-row state may treat each as a reset.
    virtual void RowsInserted(int /*first*/, int /*count*/) { RowsReset(); }
    virtual void RowRemoved(int /*row*/) { RowsReset(); }
    virtual void RowMoved(int /*from*/, int /*to*/) { RowsReset(); }
    // The Global Options sheet changed the run options ("DisableClose").
    virtual void OptionsApplied() {}
    virtual void StateChanged() = 0;   // buttons, level, tip, selection
    virtual void ScheduleChanged() {}  // clock, countdowns, timers switch
    // A pass has made `row` the selected row: show it at once.
    virtual void RowVisited(int row) { RowChanged(row); }
    // A test of the entry at `row` has ended and its row shows the outcome.
    virtual void RowTested(int /*row*/) {}
    // A pass has ended and the overall level and tool tip are recomputed:
    // the state is complete until the next pass starts.
    virtual void PassEnded() {}
    virtual void TrayIconChanged(bool shown) = 0;
    virtual void CloseRequested() = 0;  // the program must close
};

struct ButtonStates {
    bool add = false;
    bool remove = false;
    bool edit = false;
    bool update = false;
    bool moveUp = false;
    bool moveDown = false;
};

class CClientThread;

// The pump of every wait of a pass (tests, the Internet gate, alert
// commands): it serves the platform's pump and asks the wait to give up once
// the program is to close, so a close never waits for a time-out.
class PassPump final : public MessagePump {
public:
    // A computer going to sleep (`asleep`) ends a wait as a close does.
    PassPump(MessagePump* platform, const bool& closeRequested, const bool& asleep)
        : platform_(platform), closeRequested_(closeRequested), asleep_(asleep) {}
    void Pump() override {
        if (platform_) platform_->Pump();
    }
    bool StopRequested() const override {
        return closeRequested_ || asleep_ || (platform_ && platform_->StopRequested());
    }

private:
    MessagePump* platform_;
    const bool& closeRequested_;
    const bool& asleep_;
};

class MonitorEngine final : public TimerSink {
public:
    MonitorEngine(const Ports& ports, SettingsStore* store);
    ~MonitorEngine() override;
    MonitorEngine(const MonitorEngine&) = delete;
    MonitorEngine& operator=(const MonitorEngine&) = delete;

    void SetObserver(EngineObserver* observer) { observer_ = observer; }

    // Reads the profile and puts the global alert settings into force. Runs
    // once, before the list's columns are built from the settings.
    void ReadSettings();
    // The rest of the main window's start-up, once the list exists: list
    // file, notification icon, hide timer, schedule. Reads the settings first
    // if ReadSettings has not run.
    void Initialise();
    // The shutdown: timers stop, the settings and the list are written, the
    // collection is freed. `columnPositions`/`columnWidths` are what the list
    // shows now. Runs once; later calls do nothing.
    void Shutdown(const std::array<std::int32_t, kColumnCount>& columnPositions,
                  const std::array<std::int32_t, kColumnCount>& columnWidths);
    // Cancel or Esc: stops any sound; true only once the shutdown has run,
    // which is the one case in which the window may end.
    bool OnCancel();

    void OnTimer(int id) override;

    // Asks for the program to close. Outside a pass the observer is told at
    // once; during one (a signal or the session end can arrive while a test
    // waits) the wait in progress is cut short, the pass stops after the
    // current row, and the observer is told when the pass has unwound.
    void RequestClose();
    bool InPass() const { return inPass_; }
    // A pass, a sheet, a message or the About box is running: the commands
    // that start one do nothing, and a close is held until it has unwound.
    bool Busy() const { return inPass_ || pauseDepth_ > 0; }
    // True from a close asked for while busy until the close is handed on.
    bool CloseHeld() const { return closeRequested_; }

    // "&Update": the selected row (every row when none is), every class.
    void OnUpdate();
    // "Update Al&l": every row; every class when pressed by the user, the
    // tick's class when the scheduler runs it.
    void OnUpdateAll();
    // A click on the list: `row` becomes the selected row (-1 = none).
    void OnSelect(int row);
    // The list operations. Each does nothing during a pass or where its row
    // does not exist.
    void OnAdd();
    void OnEdit();
    void OnRemove();
    void OnMoveUp();
    void OnMoveDown();
    // A click on the header of column `column`.
    void OnSort(int column);
    // A double click on `row`: it is selected, then edited.
    void OnDoubleClick(int row);
    // "&Global Options" and a double click on the notification icon.
    void OnGlobalOptions();
    // The Timers "&On" and "O&ff" buttons.
    void OnTimersOn();
    void OnTimersOff();
    // Around every pass, modal dialog and list operation. Calls nest; the
    // countdowns run again after the outermost resume.
    void PauseSchedule();
    void ResumeSchedule();
    // The session manager's save request: the settings and the list are
    // written as the shutdown writes them, and the program goes on.
    void SaveForSession(const std::array<std::int32_t, kColumnCount>& columnPositions,
                        const std::array<std::int32_t, kColumnCount>& columnWidths);

    // Saves after Add and Edit go to a thread of their own (the window turns
    // this on; a failure is still told, as soon as it is known). The close
    // always waits for them and saves once more itself.
    void SetBackgroundSaves(bool on);

    // Tests the rows of the pass: `row` alone, or every row for -1.
    void RunTestPass(int row);
    int passClass() const { return passClass_; }
    void SetPassClass(int cls) { passClass_ = cls; }
    std::int32_t InternetState() const { return gate_.State(); }
    const UpdateScheduler& Scheduler() const { return scheduler_; }

    // Copies the entry at `row` into the working entry, with the global alert
    // halves standing in where the entry asks for them (unless `ownAlerts`).
    void LoadWorkingEntry(int row, bool ownAlerts);

    // What the window shows. Changes go through the commands above, which
    // tell the observer.
    const std::vector<RowView>& Rows() const { return rows_; }
    const EntryCollection& Entries() const { return entries_; }
    const ServiceItem& WorkingEntry() const { return workingEntry_; }
    const ServiceItem& NewEntry() const { return newEntryTemplate_; }
    const GlobalSettings& Settings() const { return settings_; }
    // Direct access for tests that set up a state no command makes (a
    // record damaged in memory, settings changed between passes).
    EntryCollection& EntriesForTesting() { return entries_; }
    GlobalSettings& SettingsForTesting() { return settings_; }
    const ButtonStates& Buttons() const { return buttons_; }
    int OverallLevel() const { return overallLevel_; }
    const std::string& ToolTip() const { return toolTip_; }
    bool IsClosing() const { return closing_; }
    bool ShutdownDone() const { return shutdownDone_; }
    const LoadReport& LastLoad() const { return lastLoad_; }
    // --- Sleep and wake (SleepCommands.cpp) ---
    // The computer is going to sleep: a pass in progress is cut short as a
    // close cuts it (nothing judged, no alert) and the countdowns are held.
    void OnSleep();
    // It has woken: as soon as nothing else runs, the network is waited for
    // (until one of the Internet gate's addresses answers, kWakeNetworkWaitMs
    // at most), every timed entry is tested once, and the countdowns start
    // afresh from then.
    void OnWake();
    bool Asleep() const { return asleep_; }
    static constexpr int kWakeNetworkWaitMs = 30000;

    // --- Snoozes and the pause of alerts (DeskAlerts.cpp) ---
    // The key that names the entry at `row` ("" for no such row).
    std::string EntryKeyAt(int row) const;
    // Snoozes the entry of `key` for `seconds`, or until it is ok again with
    // kSnoozeUntilOk; ends its snooze.
    void SnoozeEntry(const std::string& key, std::int64_t seconds);
    void EndSnooze(const std::string& key);
    // The end of the snooze of the entry at `row`; 0 when none.
    std::int64_t SnoozedUntil(int row) const;
    // Pauses every alert for `seconds`, or with kPausedUntilResumed until
    // ResumeAlerts.
    void PauseAlerts(std::int64_t seconds);
    void ResumeAlerts();
    bool AlertsPausedNow() const;
    // What the notification icon's tool tip adds: the pause and the number
    // of snoozed entries, one line each ("" when nothing is silenced).
    std::string SilenceTip() const;
    // The row's tool tip: since when it is in its status, its snooze.
    std::string RowTip(int row) const;
    // When the current status of the entry at `row` began, and when its
    // current failure began, in seconds since 1970; 0 when it has not been
    // tested since the start, or is not failed.
    std::int64_t StatusSince(int row) const;
    std::int64_t FailedSince(int row) const;

    // How long the last test of the entry at `row` took, in microseconds;
    // -1 while it has not been tested since the list was loaded.
    std::int64_t LastTestDurationUs(int row) const;
    // The last pass that ended: its length in microseconds (-1 before the
    // first) and the wall-clock time of its end.
    std::int64_t LastPassDurationUs() const { return lastPassDurationUs_; }
    std::int64_t LastPassEndTime() const { return lastPassEndTime_; }

private:
    // The outcome of one entry's test.
    struct TestOutcome {
        bool success = false;
        std::string text;
    };
    TestOutcome RunEntryTest(int row);
    TestOutcome RunTcpTest();
    void EvaluateSuccess(int row, const std::string& text);
    // Returns the row image the failure leaves.
    int EvaluateFailure(int row, const std::string& text);
    void ShowRow(int row, int image, const std::string& status);
    void SetStatusCell(int row, const std::string& status);
    void RecomputeOverallLevel();
    void NoteTestDuration(int row, std::int64_t microseconds);
    // Tells the observer about a close asked for during the pass.
    void CloseIfRequested();
    void RaiseOverallLevel(int image);

    // The alerts of an entry's failure or recovery, on the working entry's
    // effective settings.
    void FailureAlerts(std::int32_t classBit, int row);
    void OkAgainActions(int row);
    CommandMacros RowMacros(int row) const;
    // True when the entry left the pass's rows (moved to the end).
    bool MoveFailedToEnd(int row, int image);
    void DisableFailed(int row);
    // Saves the list; a failure is reported on standard error and, with
    // `showMessage`, in a message box too.
    void SaveList(bool showMessage);
    void SaveListNow(bool showMessage);
    void ReportSaveFailure(const std::string& message, bool showMessage);
    void CheckBackgroundSaves();
    // Tells the user, on standard error and in a message box, about a list
    // file that was damaged or could not be used.
    void ReportLoadProblems(const ListFilePaths& paths);

    void BuildRowsFromEntries();
    // Writes the working entry's cells (and, with `writeBack`, its fields
    // but `state` and `row`) into row `row`.
    void RefreshRow(int row, bool writeBack, int image, const std::string& status);
    void RemoveRow(int row);
    void MoveRow(int from, int to);
    void ApplyGlobalOptions(const GlobalSettings& edited);
    ListOrder Order() { return ListOrder(entries_, rows_); }
    void SetRowButtons(bool enabled);
    // What the shutdown and the session's save request both write: the
    // columns as shown, the profile's list and alert values, and the list
    // once every background save has landed.
    void WriteSettingsAndList(const std::array<std::int32_t, kColumnCount>& columnPositions,
                              const std::array<std::int32_t, kColumnCount>& columnWidths);
    // A sheet's OK counts only while no close waits for it to end.
    bool SheetAccepted(bool accepted) const { return accepted && !closeRequested_; }

    // --- Desktop alerts (DeskAlerts.cpp) ---
    // The desktop notification of the entry at `row` changing to `status`.
    void NotifyEntry(int row, const std::string& status);
    bool EntrySnoozed(int row) const;
    void EndSnoozeAtRecovery(int row);
    // Ends the snoozes and the pause that have run out, with one reminder
    // each of what is still failed, and arms the timer for the next end.
    void CheckSilenceEnds();
    void SilenceChanged();
    void RemindEntry(std::uint64_t key);
    void RemindAfterPause();
    void SaveSnoozes();
    std::string SnoozePath() const;
    AlertSilence silence_;
    // --- Sleep and wake (SleepCommands.cpp) ---
    bool PassCut() const { return closeRequested_ || asleep_; }
    void RunWake();
    void WaitForNetwork();
    bool asleep_ = false;
    StatusHistory history_;
    // Seconds the entry at `row` has been failed; -1 when it is not.
    std::int64_t DownSeconds(int row) const;

    Ports ports_;
    SettingsStore* store_;
    EngineObserver* observer_ = nullptr;

    ServiceItem newEntryTemplate_;
    ServiceItem workingEntry_;
    GlobalSettings settings_;
    AlertActions alerts_;
    InternetGate gate_;
    EntryCollection entries_;
    std::unique_ptr<ListWriter> writer_;
    bool saveDue_ = false;  // a background save waits for kTimerSaveCheck
    static constexpr int kSaveDelayMs = 200;
    std::vector<RowView> rows_;
    ButtonStates buttons_;
    LoadReport lastLoad_;
    // By record slot, which an entry keeps wherever its row moves; kept
    // beside the records because their layout is the list file's.
    std::vector<std::int64_t> testDurationUs_;
    std::int64_t lastPassDurationUs_ = -1;
    std::int64_t lastPassEndTime_ = 0;
    int overallLevel_ = kLevelWarning;
    std::string toolTip_;
    UpdateScheduler scheduler_;
    int passClass_ = kPassAll;
    int classFromTimer_ = 1;
    int sortColumn_ = -1;  // the column of the last sort, and its clicks
    int sortClicks_ = 0;
    CClientThread* clientThread_ = nullptr;
    int networkTimeoutSeen_ = 0;
    bool inPass_ = false;
    int pauseDepth_ = 0;
    bool closeRequested_ = false;
    // The process-list probe of the older platform family is never the one
    // on this system.
    const int isWindows9x_ = 0;
    bool settingsRead_ = false;
    bool initialised_ = false;
    bool closing_ = false;
    bool shutdownDone_ = false;
    // Declared last: `ports_` hands it to every wait before it exists, and
    // nothing waits before construction ends.
    PassPump passPump_;
};

}  // namespace tarnwatch

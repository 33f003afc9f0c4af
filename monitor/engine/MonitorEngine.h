// The monitor's coordinator, without any user interface. It owns the model
// (entries, rows, settings) and the classes that do the work: the test pass,
// the list commands, the list file's keeper, the schedule, the alerts and
// the Internet gate. It runs start-up and shutdown, the timers, the pauses
// that nest around every pass, sheet and message, and the close. The shell
// renders what it holds and forwards the user's commands to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/AlertActions.h"
#include "engine/AlertSilence.h"
#include "engine/InternetGate.h"
#include "engine/ListCommands.h"
#include "engine/ListKeeper.h"
#include "engine/MonitorModel.h"
#include "engine/Ports.h"
#include "engine/Scheduler.h"
#include "engine/StatusHistory.h"
#include "engine/TestPass.h"

namespace tarnwatch {

struct TextListOutcome;

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

class MonitorEngine final : public TimerSink, private PassDesk {
public:
    MonitorEngine(const Ports& ports, SettingsStore* store);
    ~MonitorEngine() override;
    MonitorEngine(const MonitorEngine&) = delete;
    MonitorEngine& operator=(const MonitorEngine&) = delete;

    void SetObserver(EngineObserver* observer) { model_.observer = observer; }

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
    bool InPass() const { return pass_.Running(); }
    // A pass, a sheet, a message or the About box is running: the commands
    // that start one do nothing, and a close is held until it has unwound.
    bool Busy() const { return pass_.Running() || pauseDepth_ > 0; }
    // True from a close asked for while busy until the close is handed on.
    bool CloseHeld() const { return closeRequested_; }

    // "&Update": the selected row (every row when none is), every class.
    void OnUpdate();
    // "Update Al&l": every row; every class when pressed by the user, the
    // tick's class when the scheduler runs it.
    void OnUpdateAll();
    // A click on the list: `row` becomes the selected row (-1 = none).
    void OnSelect(int row);
    // The list commands. Each does nothing while busy or where its row does
    // not exist.
    void OnAdd();
    void OnEdit();
    void OnRemove();
    void OnMoveUp() { MoveRow(model_.entries.selectedRow, model_.entries.selectedRow - 1); }
    void OnMoveDown() { MoveRow(model_.entries.selectedRow, model_.entries.selectedRow + 1); }
    // A click on the header of column `column`.
    void OnSort(int column);
    // A double click on `row`: it is selected, then edited.
    void OnDoubleClick(int row);
    // Replaces the list with `entries` (read from the list's text form):
    // saves still waiting are written first, then the list file is kept and
    // the new list saved (see ReplaceList); only when that succeeds do the
    // rows change, every one untested. Refused during a pass or a sheet.
    TextListOutcome ImportEntries(EntryCollection entries, const std::string& source);
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
    void SetBackgroundSaves(bool on) { keeper_.SetBackgroundSaves(on); }

    // Tests the rows of the pass: `row` alone, or every row for -1.
    // A pass, after which every record's `row` is up to date again.
    void RunTestPass(int row) {
        pass_.Run(row);
        model_.entries.NumberRows();
    }
    // Entries tested at once, from the command line: wins over the
    // profile's "ParallelTests" and is never written to it; 0 = the profile.
    void SetParallelTests(int width) { pass_.SetWidthOverride(width); }
    int passClass() const { return pass_.PassClass(); }
    void SetPassClass(int cls) { pass_.SetPassClass(cls); }
    std::int32_t InternetState() const { return gate_.State(); }
    const UpdateScheduler& Scheduler() const { return scheduler_; }

    // Copies the entry at `row` into the working entry, with the global alert
    // halves standing in where the entry asks for them (unless `ownAlerts`).
    void LoadWorkingEntry(int row, bool ownAlerts) { model_.LoadWorkingEntry(row, ownAlerts); }

    // What the window shows. Changes go through the commands above, which
    // tell the observer.
    const RowList& Rows() const { return model_.rows; }
    const EntryCollection& Entries() const { return model_.entries; }
    const ServiceItem& WorkingEntry() const { return model_.workingEntry; }
    const ServiceItem& NewEntry() const { return model_.newEntryTemplate; }
    const GlobalSettings& Settings() const { return model_.settings; }
    // Direct access for tests that set up a state no command makes (a
    // record damaged in memory, settings changed between passes).
    EntryCollection& EntriesForTesting() { return model_.entries; }
    GlobalSettings& SettingsForTesting() { return model_.settings; }
    const ButtonStates& Buttons() const { return list_.Buttons(); }
    int OverallLevel() const { return pass_.OverallLevel(); }
    const std::string& ToolTip() const { return pass_.ToolTip(); }
    bool IsClosing() const { return closing_; }
    bool ShutdownDone() const { return shutdownDone_; }
    const LoadReport& LastLoad() const { return keeper_.LastLoad(); }
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

    // What the test pass measures (see TestPass).
    std::int64_t LastTestDurationUs(int row) const { return pass_.LastTestDurationUs(row); }
    std::int64_t LastPassDurationUs() const { return pass_.LastPassDurationUs(); }
    std::int64_t LastPassEndTime() const { return pass_.LastPassEndTime(); }

private:
    // --- Desktop alerts (DeskAlerts.cpp), for the pass ---
    void NotifyEntry(int row, const std::string& status) override;
    bool EntrySnoozed(int row) const override;
    void EndSnoozeAtRecovery(int row) override;
    // Seconds the entry at `row` has been failed; -1 when it is not.
    std::int64_t DownSeconds(int row) const override;
    void NoteTested(int slot, std::int32_t state, const std::string& text) override;
    // Ends the snoozes and the pause that have run out, with one reminder
    // each of what is still failed, and arms the timer for the next end.
    void CheckSilenceEnds();
    void SilenceChanged();
    void RemindEntry(std::uint64_t key);
    void RemindAfterPause();
    void SaveSnoozes();
    std::string SnoozePath() const;
    // --- Sleep and wake (SleepCommands.cpp) ---
    bool PassCut() const { return closeRequested_ || asleep_; }
    void RunWake();
    void WaitForNetwork();

    // Tells the observer about a close asked for while busy.
    void CloseIfRequested();
    void MoveRow(int from, int to);
    void ApplyGlobalOptions(const GlobalSettings& edited);
    // What the shutdown and the session's save request both write: the
    // columns as shown, the profile's list and alert values, and the list
    // once every background save has landed.
    void WriteSettingsAndList(const std::array<std::int32_t, kColumnCount>& columnPositions,
                              const std::array<std::int32_t, kColumnCount>& columnWidths);
    // Whether a command of the user may start now.
    bool Idle() const { return !Busy() && !shutdownDone_; }

    // Declared first: every job below keeps a reference to the ports. The
    // pump in them is `passPump_`, which no wait uses before construction
    // has ended.
    Ports ports_;
    SettingsStore* store_;
    MonitorModel model_;
    bool closeRequested_ = false;
    bool shutdownDone_ = false;
    bool asleep_ = false;
    AlertSilence silence_;
    StatusHistory history_;
    AlertActions alerts_;
    InternetGate gate_;
    ListKeeper keeper_;
    ListCommands list_;
    TestPass pass_;
    UpdateScheduler scheduler_;
    // True while the update tick runs a pass: the tick has chosen its class.
    bool tickChoseClass_ = false;
    int pauseDepth_ = 0;
    bool settingsRead_ = false;
    bool initialised_ = false;
    bool closing_ = false;
    PassPump passPump_;
};

// The schedule paused for as long as it lives: around a command, a sheet, a
// file dialog or a message. The commands that would start another do nothing
// meanwhile.
class SchedulePause {
public:
    explicit SchedulePause(MonitorEngine& engine) : engine_(engine) { engine_.PauseSchedule(); }
    ~SchedulePause() { engine_.ResumeSchedule(); }
    SchedulePause(const SchedulePause&) = delete;
    SchedulePause& operator=(const SchedulePause&) = delete;

private:
    MonitorEngine& engine_;
};

}  // namespace tarnwatch

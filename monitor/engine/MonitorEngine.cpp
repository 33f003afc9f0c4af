// The coordinator: start-up, shutdown, the timers, the nested pauses, the
// close, and the user's commands handed to the class whose job they are.
#include "engine/MonitorEngine.h"

#include "engine/SettingsTable.h"
#include "res/StringTable.h"

namespace tarnwatch {

namespace {

Ports WithPump(Ports ports, MessagePump* pump) {
    ports.pump = pump;
    return ports;
}

}  // namespace

MonitorEngine::MonitorEngine(const Ports& ports, SettingsStore* store)
    : ports_(WithPump(ports, &passPump_)),
      store_(store),
      alerts_(ports_, model_.settings),
      gate_(ports_, model_.settings, alerts_),
      keeper_(ports_, model_.entries, shutdownDone_),
      list_(ports_, store_, model_, keeper_, closeRequested_),
      pass_(ports_, model_, alerts_, gate_, closeRequested_, asleep_),
      scheduler_(*ports.clock, *ports.timers, model_.settings),
      passPump_(ports.pump, closeRequested_, asleep_) {
    pass_.SetDesk(this);
    model_.newEntryTemplate = NewEntryTemplate();
    model_.workingEntry = model_.newEntryTemplate;
    model_.settings = DefaultSettings();
    if (ports_.timers) ports_.timers->SetSink(this);
}

MonitorEngine::~MonitorEngine() {
    if (ports_.timers) ports_.timers->SetSink(nullptr);
}

void MonitorEngine::ReadSettings() {
    if (settingsRead_) return;
    settingsRead_ = true;
    if (store_) store_->ReadSettings(model_.settings);
}

void MonitorEngine::Initialise() {
    if (initialised_) return;
    initialised_ = true;
    ReadSettings();

    EngineObserver* observer = model_.observer;
    if (keeper_.Load().outOfMemory) {
        // Nothing was loaded, so nothing may be written back; the close timer
        // ends the program after the message.
        list_.ResetButtons();
        model_.rows.clear();
        if (observer) observer->RowsReset();
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_OUT_OF_MEMORY));
        if (ports_.timers) ports_.timers->SetTimer(kTimerCloseAfterError, 1000);
        model_.StateChanged();
        return;
    }
    silence_.Load(SnoozePath(), ports_.clock->Now());
    model_.BuildRows();
    list_.ResetButtons();
    if (observer) {
        observer->RowsReset();
        observer->StateChanged();
        observer->TrayIconChanged(true);
    }
    if (model_.settings.minimize && ports_.timers) ports_.timers->SetTimer(kTimerHideWindow, 1000);
    scheduler_.ScheduleClass(kPassAll);
    scheduler_.ResumeSchedule();
    if (observer) observer->ScheduleChanged();
    CheckSilenceEnds();
}

void MonitorEngine::Shutdown(const std::array<std::int32_t, kColumnCount>& columnPositions,
                             const std::array<std::int32_t, kColumnCount>& columnWidths) {
    if (shutdownDone_) return;
    shutdownDone_ = true;
    scheduler_.PauseSchedule();
    if (ports_.timers) {
        ports_.timers->KillTimer(kTimerCloseAfterError);
        ports_.timers->KillTimer(kTimerNetworkTimeout);
        ports_.timers->KillTimer(kTimerHideWindow);
        ports_.timers->KillTimer(kTimerSilenceEnd);
        ports_.timers->KillTimer(kTimerWake);
    }
    WriteSettingsAndList(columnPositions, columnWidths);
    if (model_.observer) model_.observer->TrayIconChanged(false);
    model_.entries.Clear();
    model_.rows.clear();
    if (model_.observer) model_.observer->RowsReset();
    closing_ = true;
}

void MonitorEngine::SaveForSession(const std::array<std::int32_t, kColumnCount>& columnPositions,
                                   const std::array<std::int32_t, kColumnCount>& columnWidths) {
    if (!initialised_ || shutdownDone_ || keeper_.LastLoad().outOfMemory) return;
    WriteSettingsAndList(columnPositions, columnWidths);
}

void MonitorEngine::WriteSettingsAndList(
    const std::array<std::int32_t, kColumnCount>& columnPositions,
    const std::array<std::int32_t, kColumnCount>& columnWidths) {
    model_.settings.columnPosition = columnPositions;
    model_.settings.columnWidth = columnWidths;
    if (store_) store_->WriteListAndAlertSettings(model_.settings);
    keeper_.SaveForClose();
}

void MonitorEngine::RequestClose() {
    if (!Busy()) {
        if (model_.observer) model_.observer->CloseRequested();
        return;
    }
    closeRequested_ = true;
    pass_.CutWaitShort();
}

void MonitorEngine::CloseIfRequested() {
    if (!closeRequested_) return;
    closeRequested_ = false;
    if (model_.observer) model_.observer->CloseRequested();
}

bool MonitorEngine::OnCancel() {
    if (ports_.sound) ports_.sound->Purge();
    return closing_;
}

void MonitorEngine::OnTimer(int id) {
    if (ports_.timers) ports_.timers->KillTimer(id);
    switch (id) {
        case kTimerHideWindow:
            if (ports_.window) ports_.window->Hide();
            break;
        case kTimerCloseAfterError:
            if (model_.observer) model_.observer->CloseRequested();
            break;
        case kTimerUpdateTick:
            // A pause re-arms the tick when it ends.
            if (shutdownDone_ || Busy()) break;
            scheduler_.OnUpdateTick([this](int cls) {
                pass_.SetPassClass(cls);
                tickChoseClass_ = true;
                OnUpdateAll();
                tickChoseClass_ = false;
            });
            if (model_.observer) model_.observer->ScheduleChanged();
            break;
        case kTimerSaveCheck:
            keeper_.CheckBackgroundSaves();
            break;
        case kTimerSilenceEnd:
            CheckSilenceEnds();
            break;
        case kTimerWake:
            RunWake();
            break;
        case kTimerNetworkTimeout:
            pass_.OnNetworkTimeout();
            break;
        default:
            break;
    }
}

// --- Passes -----------------------------------------------------------------

void MonitorEngine::OnUpdate() {
    if (!Idle()) return;
    const SchedulePause paused(*this);
    if (ports_.waitCursor) ports_.waitCursor->Begin();
    pass_.SetPassClass(kPassAll);
    RunTestPass(model_.entries.selectedRow);
    if (ports_.waitCursor) ports_.waitCursor->End();
}

void MonitorEngine::OnUpdateAll() {
    if (!Idle()) return;
    const SchedulePause paused(*this);
    if (ports_.waitCursor) ports_.waitCursor->Begin();
    if (!tickChoseClass_) pass_.SetPassClass(kPassAll);
    RunTestPass(-1);
    if (ports_.waitCursor) ports_.waitCursor->End();
}

// --- The schedule -------------------------------------------------------------

// Pauses nest: a sheet opened from the About box's time, a pass inside a
// list command, a message inside a pass. Only the outermost resume starts
// the countdowns again, and only then may a close held meanwhile go ahead.
void MonitorEngine::PauseSchedule() {
    if (pauseDepth_++ == 0) scheduler_.PauseSchedule();
    if (model_.observer) model_.observer->ScheduleChanged();
}

void MonitorEngine::ResumeSchedule() {
    if (pauseDepth_ == 0) return;
    // Asleep, the countdowns stay held until the wake's passes have run.
    if (--pauseDepth_ == 0 && !shutdownDone_ && !asleep_) scheduler_.ResumeSchedule();
    if (model_.observer) model_.observer->ScheduleChanged();
    if (pauseDepth_ == 0) CloseIfRequested();
}

void MonitorEngine::OnTimersOn() {
    // The buttons cannot be reached while anything is paused; should a click
    // come through anyway, the countdowns must stay frozen.
    if (!Busy()) scheduler_.TimersOn();
    if (model_.observer) model_.observer->ScheduleChanged();
}

void MonitorEngine::OnTimersOff() {
    if (!Busy()) scheduler_.TimersOff();
    if (model_.observer) model_.observer->ScheduleChanged();
}

// --- The list commands ----------------------------------------------------------

void MonitorEngine::OnSelect(int row) {
    list_.Select(row);
}

void MonitorEngine::OnDoubleClick(int row) {
    if (Busy() || !model_.entries.IsRow(row)) return;
    list_.Select(row);
    OnEdit();
}

void MonitorEngine::OnAdd() {
    if (!Idle()) return;
    const SchedulePause paused(*this);
    list_.Add();
}

void MonitorEngine::OnEdit() {
    if (!Idle() || !model_.entries.IsRow(model_.entries.selectedRow)) return;
    const SchedulePause paused(*this);
    list_.Edit();
}

void MonitorEngine::OnRemove() {
    if (!Idle() || !model_.entries.IsRow(model_.entries.selectedRow)) return;
    const SchedulePause paused(*this);
    list_.Remove();
}

void MonitorEngine::MoveRow(int from, int to) {
    if (!Idle() || !model_.entries.IsRow(from) || !model_.entries.IsRow(to)) return;
    const SchedulePause paused(*this);
    list_.Move(from, to);
}

void MonitorEngine::OnSort(int column) {
    if (!Idle() || column < 0 || column >= kColumnCount) return;
    const SchedulePause paused(*this);
    list_.Sort(column);
}

// --- Global Options ---------------------------------------------------------------

void MonitorEngine::OnGlobalOptions() {
    if (!Idle()) return;
    const SchedulePause paused(*this);
    GlobalSettings edited = model_.settings;
    if (!ports_.sheets || !ports_.sheets->RunGlobalOptions(edited) || closeRequested_) return;
    ApplyGlobalOptions(edited);
}

void MonitorEngine::ApplyGlobalOptions(const GlobalSettings& edited) {
    GlobalSettings& settings = model_.settings;
    const GlobalSettings before = settings;
    settings = edited;
    // The sheet has no say over the columns: they stay as the window holds
    // them until the shutdown reads them back.
    settings.columnPosition = before.columnPosition;
    settings.columnWidth = before.columnWidth;
    // Nor over a pause of the alerts, which the icon's menu may change meanwhile.
    settings.alertsPausedUntil = before.alertsPausedUntil;
    NormaliseSettings(settings);
    if (store_) {
        store_->WriteListAndAlertSettings(settings);
        store_->WriteRunOptions(settings, before.startup);
    }
    if (model_.observer) model_.observer->OptionsApplied();
    for (int cls : {kFrequencyLow, kFrequencyMedium, kFrequencyHigh}) {
        if (UpdateScheduler::ClassInterval(cls, settings) !=
            UpdateScheduler::ClassInterval(cls, before)) {
            scheduler_.ScheduleClass(cls);
        }
    }
}

}  // namespace tarnwatch

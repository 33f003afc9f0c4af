// Start-up, shutdown and the window state of the monitor's controller.
#include "engine/MonitorEngine.h"

#include <cstdio>
#include <new>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "engine/ProbeClient.h"
#include "res/StringTable.h"

namespace tarnwatch {

namespace {

Ports WithPump(Ports ports, MessagePump* pump) {
    ports.pump = pump;
    return ports;
}

// A report on standard error and, with `box`, in a message box too.
void TellUser(const Ports& ports, const std::string& message, bool box) {
    box = box && ports.messageBox;
    if (!box || !ports.messageBox->WritesToStandardError()) {
        TellOnStandardError(message);
    }
    if (box) ports.messageBox->Show(message);
}

}  // namespace

MonitorEngine::MonitorEngine(const Ports& ports, SettingsStore* store)
    : ports_(WithPump(ports, &passPump_)),
      store_(store),
      alerts_(ports_, settings_),
      gate_(ports_, settings_, alerts_),
      scheduler_(*ports.clock, *ports.timers, settings_),
      passPump_(ports.pump, closeRequested_, asleep_) {
    newEntryTemplate_ = NewEntryTemplate();
    workingEntry_ = newEntryTemplate_;
    settings_ = DefaultSettings();
    toolTip_ = LoadString(IDS_TIP);
    if (ports_.timers) ports_.timers->SetSink(this);
}

MonitorEngine::~MonitorEngine() {
    if (ports_.timers) ports_.timers->SetSink(nullptr);
}

void MonitorEngine::ReadSettings() {
    if (settingsRead_) return;
    settingsRead_ = true;
    if (store_) store_->ReadSettings(settings_);
}

void MonitorEngine::Initialise() {
    if (initialised_) return;
    initialised_ = true;
    ReadSettings();

    buttons_ = ButtonStates{};
    buttons_.add = true;

    const ListFilePaths paths = ListFileLocation();
    lastLoad_ = LoadListFile(entries_, paths);
    if (lastLoad_.outOfMemory) {
        // Nothing was loaded, so nothing may be written back; the close timer
        // ends the program after the message.
        rows_.clear();
        if (observer_) observer_->RowsReset();
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_OUT_OF_MEMORY));
        if (ports_.timers) ports_.timers->SetTimer(kTimerCloseAfterError, 1000);
        if (observer_) observer_->StateChanged();
        return;
    }
    ReportLoadProblems(paths);
    silence_.Load(SnoozePath(), ports_.clock->Now());
    BuildRowsFromEntries();
    if (entries_.recordCount > 0) SetRowButtons(true);
    if (observer_) {
        observer_->RowsReset();
        observer_->StateChanged();
        observer_->TrayIconChanged(true);
    }
    if (settings_.minimize && ports_.timers) ports_.timers->SetTimer(kTimerHideWindow, 1000);
    scheduler_.ScheduleClass(kPassAll);
    scheduler_.ResumeSchedule();
    if (observer_) observer_->ScheduleChanged();
    CheckSilenceEnds();
}

void MonitorEngine::BuildRowsFromEntries() {
    rows_.clear();
    rows_.reserve(static_cast<std::size_t>(entries_.rowCount));
    const std::string unknown = LoadString(IDS_UNKNOWN);
    for (int r = 0; r < entries_.rowCount; ++r) {
        LoadWorkingEntry(r, true);
        rows_.push_back(MakeRowView(workingEntry_, kImageWarning, unknown));
    }
}

void MonitorEngine::SetRowButtons(bool enabled) {
    buttons_.remove = buttons_.edit = buttons_.update = enabled;
    buttons_.moveUp = buttons_.moveDown = enabled;
}

void MonitorEngine::LoadWorkingEntry(int row, bool ownAlerts) {
    const ServiceItem& record = entries_.RecordAtRow(row);
    workingEntry_ = record;
    if (!ownAlerts && record.soundUseGlobal) workingEntry_.alerts.sound = settings_.alerts.sound;
    if (!ownAlerts && record.batchUseGlobal) workingEntry_.alerts.batch = settings_.alerts.batch;
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
    if (observer_) observer_->TrayIconChanged(false);
    entries_.Clear();
    rows_.clear();
    if (observer_) observer_->RowsReset();
    closing_ = true;
}

void MonitorEngine::SaveForSession(const std::array<std::int32_t, kColumnCount>& columnPositions,
                                   const std::array<std::int32_t, kColumnCount>& columnWidths) {
    if (!initialised_ || shutdownDone_ || lastLoad_.outOfMemory) return;
    WriteSettingsAndList(columnPositions, columnWidths);
}

void MonitorEngine::WriteSettingsAndList(
    const std::array<std::int32_t, kColumnCount>& columnPositions,
    const std::array<std::int32_t, kColumnCount>& columnWidths) {
    settings_.columnPosition = columnPositions;
    settings_.columnWidth = columnWidths;
    if (store_) store_->WriteListAndAlertSettings(settings_);
    if (writer_) {
        // A save still due goes out now, in this save; whatever a save in the
        // background left to say goes to standard error.
        writer_->Flush();
        saveDue_ = false;
        CheckBackgroundSaves();
        if (ports_.timers) ports_.timers->KillTimer(kTimerSaveCheck);
    }
    // A message box must never hold up a logout: standard error alone.
    SaveListNow(false);
}

void MonitorEngine::SetBackgroundSaves(bool on) {
    if (on && !writer_) writer_ = std::make_unique<ListWriter>();
    if (!on && writer_) {
        CheckBackgroundSaves();  // a save that waits goes out now
        writer_->Flush();
        CheckBackgroundSaves();
        writer_.reset();
    }
}

void MonitorEngine::SaveList(bool showMessage) {
    if (writer_ && showMessage && !shutdownDone_ && ports_.timers) {
        // The copy for the writer is made a moment later, once the window
        // has shown the change; quick edits in a row make one save.
        saveDue_ = true;
        ports_.timers->SetTimer(kTimerSaveCheck, kSaveDelayMs);
        return;
    }
    SaveListNow(showMessage);
}

void MonitorEngine::SaveListNow(bool showMessage) {
    const ListFilePaths paths = ListFileLocation();
    std::string reason;
    if (SaveListFile(entries_, paths, &reason) != SaveResult::kFailed) return;
    ReportSaveFailure(SaveFailureMessage(paths.listFile, reason), showMessage);
}

void MonitorEngine::ReportSaveFailure(const std::string& message, bool showMessage) {
    TellUser(ports_, message, showMessage);
}

void MonitorEngine::ReportLoadProblems(const ListFilePaths& paths) {
    std::string message;
    if (!lastLoad_.unsafeLink.empty()) {
        message = FormatText(LoadString(IDS_LIST_UNSAFE_LINK),
                             {paths.listFile, UnsafeLinkReason(lastLoad_.unsafeLink)});
    } else if (lastLoad_.notRegularFile) {
        message = FormatText(LoadString(IDS_LIST_NOT_REGULAR), {paths.listFile});
    } else if (lastLoad_.damaged) {
        message = FormatText(LoadString(IDS_LIST_DAMAGED),
                             {paths.listFile, std::to_string(entries_.rowCount)});
        if (!lastLoad_.keptList.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEPT_DAMAGED), {lastLoad_.keptList});
        }
        if (!lastLoad_.keptBackup.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEPT_BACKUP), {lastLoad_.keptBackup});
        }
        if (!lastLoad_.keepFailure.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEEP_FAILED), {lastLoad_.keepFailure});
        }
    } else {
        return;
    }
    TellUser(ports_, message, true);
}

void MonitorEngine::CheckBackgroundSaves() {
    if (!writer_) return;
    if (saveDue_ && !shutdownDone_) {
        saveDue_ = false;
        try {
            writer_->Submit(entries_, ListFileLocation());
        } catch (const std::bad_alloc&) {
            // No memory for the copy: save here and now instead, once an
            // older copy being written cannot land after this one.
            writer_->Flush();
            SaveListNow(true);
        }
    }
    // Idle first: a save that ends between the two calls then has its failure
    // taken now or at the next check, never at neither.
    const bool idle = writer_->Idle();
    for (const std::string& message : writer_->TakeFailures()) {
        ReportSaveFailure(message, !shutdownDone_);
    }
    if (!idle && ports_.timers && !shutdownDone_) {
        ports_.timers->SetTimer(kTimerSaveCheck, 50);
    }
}

void MonitorEngine::RequestClose() {
    if (!Busy()) {
        if (observer_) observer_->CloseRequested();
        return;
    }
    closeRequested_ = true;
    if (clientThread_) clientThread_->OnTimeout();
}

void MonitorEngine::CloseIfRequested() {
    if (!closeRequested_) return;
    closeRequested_ = false;
    if (observer_) observer_->CloseRequested();
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
            if (observer_) observer_->CloseRequested();
            break;
        case kTimerUpdateTick:
            // A pause re-arms the tick when it ends.
            if (shutdownDone_ || Busy()) break;
            scheduler_.OnUpdateTick([this](int cls) {
                passClass_ = cls;
                classFromTimer_ = 0;
                OnUpdateAll();
                classFromTimer_ = 1;
            });
            if (observer_) observer_->ScheduleChanged();
            break;
        case kTimerSaveCheck:
            CheckBackgroundSaves();
            break;
        case kTimerSilenceEnd:
            CheckSilenceEnds();
            break;
        case kTimerWake:
            RunWake();
            break;
        case kTimerNetworkTimeout:
            networkTimeoutSeen_ = 1;
            if (clientThread_) clientThread_->OnTimeout();
            break;
        default:
            break;
    }
}

}  // namespace tarnwatch

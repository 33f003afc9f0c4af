// Alert actions of a failed or recovered entry: sounds, commands, restoring
// the window, and moving or disabling failed entries. They read the working
// entry's effective settings, never the record's own.
#include <algorithm>

#include "engine/CommandExpand.h"
#include "engine/CommandRunner.h"
#include "engine/MonitorEngine.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

// The class's enable for sounds.
std::int32_t SoundEnabled(const AlertBlock& a, std::int32_t classBit) {
    switch (classBit) {
        case kStateTimedOut:
            return a.soundOnTimedOut;
        case kStateUnavailable:
            return a.soundOnUnavailable;
        case kStateUnresolved:
            return a.soundOnUnresolved;
        default:
            return 0;
    }
}

}  // namespace

void MonitorEngine::RestoreMainWindow() {
    if (settings_.restore && ports_.window) ports_.window->Show();
}

void MonitorEngine::PlayAlertSound(const char* name, int mode) {
    if (!ports_.sound) return;
    if (mode == 3) {
        ports_.sound->PlayLoop(name);
    } else {
        ports_.sound->PlayOnceWait(name);
    }
}

void MonitorEngine::RunAlertCommand(const char* command, int wait, int row) {
    char line[kTextSize];
    ExpandCommand(
        command, line,
        MacrosFor(workingEntry_, rows_[static_cast<std::size_t>(row)].cells[kColStatus].c_str()));
    RunCommand(line, wait ? 1 : 0, ports_.pump);
}

void MonitorEngine::FailureSound(std::int32_t classBit) {
    const AlertBlock& a = workingEntry_.alerts;
    const bool repeat = (workingEntry_.state & classBit) != 0;
    const bool fire = SoundEnabled(a, classBit) &&
                      (a.soundMode == 2 || ((a.soundMode == 1 || a.soundMode == 3) && !repeat));
    if (!fire || a.failedSound[0] == '\0') return;
    RestoreMainWindow();
    PlayAlertSound(a.failedSound, a.soundMode);
}

void MonitorEngine::FailureBatch(std::int32_t classBit, int row) {
    const AlertBlock& a = workingEntry_.alerts;
    const bool repeat = (workingEntry_.state & classBit) != 0;
    // The unavailable enable gates the failure command of every class.
    const bool fire = a.batchOnUnavailable && (a.batchMode == 2 || (a.batchMode == 1 && !repeat));
    if (!fire || a.failedCommand[0] == '\0') return;
    RestoreMainWindow();
    RunAlertCommand(a.failedCommand, a.failedCommandWait, row);
    ServiceItem& record = entries_.RecordAtRow(row);
    record.state |= kStateAlerted;
    workingEntry_.state = record.state;
    SetStatusCell(row, LoadString(IDS_ALERTED));
}

void MonitorEngine::OkAgainActions(int row) {
    const AlertBlock& a = workingEntry_.alerts;
    if (a.failedSound[0] != '\0' && a.soundMode == 3 && ports_.sound) ports_.sound->Purge();
    if (a.soundMode != 0 && a.okAgainSound[0] != '\0') {
        RestoreMainWindow();
        PlayAlertSound(a.okAgainSound, a.soundMode);
    }
    if (a.batchMode != 0 && a.okAgainCommand[0] != '\0') {
        RunAlertCommand(a.okAgainCommand, a.okAgainCommandWait, row);
        ServiceItem& record = entries_.RecordAtRow(row);
        record.state &= ~kStateAlerted;
        workingEntry_.state = record.state;
    }
}

bool MonitorEngine::MoveFailedToEnd(int row, int image) {
    if (!settings_.autoMove) return false;
    ServiceItem& record = entries_.RecordAtRow(row);
    if (settings_.autoDisable) {
        record.enabled = 0;
        workingEntry_.enabled = 0;
    }
    const std::string status = rows_[static_cast<std::size_t>(row)].cells[kColStatus];
    const int last = entries_.rowCount - 1;
    const std::int32_t slot = entries_.order[static_cast<std::size_t>(row)];
    for (int i = row; i < last; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        entries_.order[ui] = entries_.order[ui + 1];
        entries_.records[static_cast<std::size_t>(entries_.order[ui])].row = i;
    }
    entries_.order[static_cast<std::size_t>(last)] = slot;
    record.row = last;
    std::rotate(rows_.begin() + row, rows_.begin() + row + 1, rows_.begin() + last + 1);
    rows_[static_cast<std::size_t>(last)] = MakeRowView(workingEntry_, image, status);
    entries_.selectedRow = last;
    if (observer_) observer_->RowsReset();
    return true;
}

void MonitorEngine::DisableFailed(int row) {
    if (!settings_.autoDisable || settings_.autoMove) return;
    ServiceItem& record = entries_.RecordAtRow(row);
    record.enabled = 0;
    workingEntry_.enabled = 0;
    ShowRow(row, rows_[static_cast<std::size_t>(row)].image, LoadString(IDS_DISABLED));
}

}  // namespace tarnwatch

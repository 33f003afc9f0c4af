// What an entry's failure or recovery does beyond its row: sounds and
// commands through the alert actions (on the working entry's effective
// settings, never the record's own), and moving or disabling failed entries.
#include "engine/MonitorEngine.h"
#include "res/StringTable.h"

namespace tarnwatch {

CommandMacros MonitorEngine::RowMacros(int row) const {
    return MacrosFor(workingEntry_, rows_[static_cast<std::size_t>(row)].cells[kColStatus].c_str());
}

void MonitorEngine::FailureAlerts(std::int32_t classBit, int row) {
    const AlertBlock& a = workingEntry_.alerts;
    const bool repeated = (workingEntry_.state & classBit) != 0;
    const QuietScope quiet(alerts_, EntrySnoozed(row));
    if (!repeated) NotifyEntry(row, rows_[static_cast<std::size_t>(row)].cells[kColStatus]);
    if (SoundEnabledFor(a.sound, classBit)) alerts_.FailureSound(a.sound, repeated);
    // The unavailable enable gates the failure command of every class.
    if (!a.batch.batchOnUnavailable || !alerts_.FailureCommand(a.batch, repeated, RowMacros(row))) {
        return;
    }
    ServiceItem& record = entries_.RecordAtRow(row);
    record.state |= kStateAlerted;
    workingEntry_.state = record.state;
    SetStatusCell(row, LoadString(IDS_ALERTED));
}

void MonitorEngine::OkAgainActions(int row) {
    const AlertBlock& a = workingEntry_.alerts;
    EndSnoozeAtRecovery(row);
    const QuietScope quiet(alerts_, EntrySnoozed(row));
    alerts_.StopFailureLoop(a.sound);
    NotifyEntry(row, LoadString(IDS_NOTE_OK_AGAIN));
    alerts_.OkAgainSound(a.sound);
    CommandMacros macros = RowMacros(row);
    macros.downSeconds = DownSeconds(row);
    if (alerts_.OkAgainCommand(a.batch, macros)) {
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
    Order().MoveToEnd(row);
    rows_[static_cast<std::size_t>(last)] = MakeRowView(workingEntry_, image, status);
    entries_.selectedRow = last;
    if (observer_) observer_->RowMoved(row, last);
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

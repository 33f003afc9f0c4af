// The working entry and the rows of the monitor's model.
#include "engine/MonitorModel.h"

#include "res/StringTable.h"

namespace tarnwatch {

void MonitorModel::LoadWorkingEntry(int row, bool ownAlerts) {
    const ServiceItem& record = entries.RecordAtRow(row);
    workingEntry = record;
    if (!ownAlerts && record.soundUseGlobal) workingEntry.alerts.sound = settings.alerts.sound;
    if (!ownAlerts && record.batchUseGlobal) workingEntry.alerts.batch = settings.alerts.batch;
}

void MonitorModel::BuildRows() {
    rows.clear();
    rows.reserve(static_cast<std::size_t>(entries.rowCount));
    const std::string unknown = LoadString(IDS_UNKNOWN);
    for (int r = 0; r < entries.rowCount; ++r) {
        LoadWorkingEntry(r, true);
        rows.push_back(MakeRowView(workingEntry, kImageWarning, unknown));
    }
}

}  // namespace tarnwatch

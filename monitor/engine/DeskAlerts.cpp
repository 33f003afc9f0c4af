// What the monitor tells the person through the desktop beyond the
// specified alerts: notifications of an entry's failure and recovery.
#include "engine/EntryKey.h"
#include "engine/MonitorEngine.h"

namespace tarnwatch {

void MonitorEngine::NotifyEntry(int row, const std::string& status) {
    const ServiceItem& record = entries_.RecordAtRow(row);
    alerts_.Notify(EntryKeyText(EntryKey(record)), EntryTitle(record), status, true);
}

}  // namespace tarnwatch

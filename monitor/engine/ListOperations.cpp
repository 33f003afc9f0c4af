// The operations of the main window's list: selecting a row.
#include "engine/MonitorEngine.h"

namespace tarnwatch {

void MonitorEngine::OnSelect(int row) {
    entries_.selectedRow = entries_.IsRow(row) ? row : -1;
    if (entries_.selectedRow >= 0) {
        buttons_.edit = buttons_.remove = true;
        buttons_.moveUp = buttons_.moveDown = true;
    }
    if (observer_) observer_->StateChanged();
}

}  // namespace tarnwatch

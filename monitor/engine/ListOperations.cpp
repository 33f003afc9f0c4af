// The operations of the main window's list: select, add, edit, remove, move
// and sort. Each pauses the schedule around its work (select does not), and
// none runs inside a pass: the pass lets no user input through, and the
// operations check once more.
#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "engine/MonitorEngine.h"
#include "engine/SettingsTable.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

constexpr std::size_t kEditStatusMax = 79;

// RAII pause of the schedule around one operation.
class Paused {
public:
    explicit Paused(MonitorEngine& engine) : engine_(engine) { engine_.PauseSchedule(); }
    ~Paused() { engine_.ResumeSchedule(); }
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

private:
    MonitorEngine& engine_;
};

// Whether an added entry names what its kind tests: an address for the
// network kinds, a source for the local ones.
bool Acceptable(const ServiceItem& e) {
    if (IsNetworkKind(e.sourceKind)) return e.address[0] != '\0';
    if (e.sourceKind == kSourceProcessName || e.sourceKind == kSourceProgram) {
        return e.source[0] != '\0';
    }
    return false;
}

// The image an edited row keeps: its enabled form, since the sheet may
// enable the entry.
int EnabledImage(int image) {
    if (image == kImageNetworkDisabled) return kImageNetwork;
    if (image == kImageLocalDisabled) return kImageLocal;
    return image;
}

}  // namespace

void MonitorEngine::OnSelect(int row) {
    entries_.selectedRow = entries_.IsRow(row) ? row : -1;
    if (entries_.selectedRow >= 0) {
        buttons_.edit = buttons_.remove = true;
        buttons_.moveUp = buttons_.moveDown = true;
    }
    if (observer_) observer_->StateChanged();
}

void MonitorEngine::OnDoubleClick(int row) {
    if (Busy() || !entries_.IsRow(row)) return;
    OnSelect(row);
    OnEdit();
}

void MonitorEngine::RefreshRow(int row, bool writeBack, int image, const std::string& status) {
    if (writeBack) {
        ServiceItem& record = entries_.RecordAtRow(row);
        const std::int32_t state = record.state;
        const std::int32_t ownRow = record.row;
        record = workingEntry_;
        record.state = state;
        record.row = ownRow;
    }
    rows_[static_cast<std::size_t>(row)] = MakeRowView(workingEntry_, image, status);
    if (observer_) observer_->RowChanged(row);
}

void MonitorEngine::OnAdd() {
    if (Busy() || shutdownDone_) return;
    Paused paused(*this);
    workingEntry_ = newEntryTemplate_;
    workingEntry_.attempt = 0;
    entries_.selectedRow = -1;
    if (observer_) observer_->StateChanged();
    if (!ports_.sheets || !SheetAccepted(ports_.sheets->RunEntrySheet(workingEntry_))) return;
    if (store_) store_->WriteListAndAlertSettings(settings_);
    if (!Acceptable(workingEntry_)) return;

    ServiceItem record = workingEntry_;
    record.state = kStateUntested;
    const int row = entries_.rowCount;
    if (!Order().Append(record,
                        MakeRowView(workingEntry_, kImageWarning, LoadString(IDS_UNKNOWN)))) {
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_NO_MEMORY_TO_ADD));
        return;
    }
    entries_.selectedRow = row;
    if (observer_) observer_->RowsInserted(row, 1);
    SetRowButtons(true);
    if (observer_) observer_->StateChanged();
    SaveList(true);
}

void MonitorEngine::OnEdit() {
    int row = entries_.selectedRow;
    if (Busy() || shutdownDone_ || !entries_.IsRow(row)) return;
    Paused paused(*this);
    LoadWorkingEntry(row, true);
    const RowView& view = rows_[static_cast<std::size_t>(row)];
    const int image = EnabledImage(view.image);
    const std::string status = view.cells[kColStatus].substr(0, kEditStatusMax);
    // The entry keeps its record slot wherever its row goes while the sheet
    // is open; the sheet's result belongs to that entry or to none.
    const std::int32_t slot = entries_.order[static_cast<std::size_t>(row)];
    if (!ports_.sheets || !SheetAccepted(ports_.sheets->RunEntrySheet(workingEntry_))) return;
    row = entries_.records[static_cast<std::size_t>(slot)].row;
    if (!entries_.IsRow(row)) return;
    if (store_) store_->WriteListAndAlertSettings(settings_);
    if (workingEntry_.address[0] == '\0') {
        RemoveRow(row);
    } else {
        RefreshRow(row, true, image, status);
        buttons_.update = true;
        if (observer_) observer_->StateChanged();
    }
    SaveList(true);
}

void MonitorEngine::RemoveRow(int row) {
    if (!entries_.IsRow(row)) return;
    Order().Remove(row);
    if (observer_) observer_->RowRemoved(row);
    if (entries_.rowCount == 0) {
        SetRowButtons(false);
        entries_.selectedRow = -1;
    } else {
        entries_.selectedRow = std::min(row > 0 ? row - 1 : 0, entries_.rowCount - 1);
    }
    if (observer_) observer_->StateChanged();
}

void MonitorEngine::OnRemove() {
    if (Busy() || shutdownDone_ || !entries_.IsRow(entries_.selectedRow)) return;
    Paused paused(*this);
    RemoveRow(entries_.selectedRow);
}

void MonitorEngine::MoveRow(int from, int to) {
    if (Busy() || shutdownDone_ || !entries_.IsRow(from) || !entries_.IsRow(to)) return;
    Paused paused(*this);
    Order().Swap(from, to);
    entries_.selectedRow = to;
    if (observer_) {
        observer_->RowMoved(from, to);
        observer_->StateChanged();
    }
}

void MonitorEngine::OnMoveUp() {
    MoveRow(entries_.selectedRow, entries_.selectedRow - 1);
}

void MonitorEngine::OnMoveDown() {
    MoveRow(entries_.selectedRow, entries_.selectedRow + 1);
}

void MonitorEngine::OnSort(int column) {
    if (Busy() || shutdownDone_ || column < 0 || column >= kColumnCount) return;
    Paused paused(*this);
    const int n = entries_.rowCount;
    // The keys are the cells as shown, ordered as the locale orders text
    // (strcoll); each is transformed once (strxfrm) so that the comparisons
    // of the sort are plain byte comparisons. Rows with equal keys keep their
    // order.
    std::vector<int> rows;
    std::vector<char> keys;
    std::vector<std::size_t> at;
    try {
        rows.resize(static_cast<std::size_t>(n));
        at.resize(static_cast<std::size_t>(n));
        for (int r = 0; r < n; ++r) {
            const char* cell =
                rows_[static_cast<std::size_t>(r)].cells[static_cast<std::size_t>(column)].c_str();
            const std::size_t start = keys.size();
            std::size_t room = std::strlen(cell) * 2 + 16;
            for (;;) {
                keys.resize(start + room);
                const std::size_t need = std::strxfrm(keys.data() + start, cell, room);
                if (need < room) {
                    keys.resize(start + need + 1);
                    break;
                }
                room = need + 1;
            }
            at[static_cast<std::size_t>(r)] = start;
        }
    } catch (const std::bad_alloc&) {
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_NO_MEMORY_TO_SORT));
        return;
    }
    sortClicks_ = column == sortColumn_ ? sortClicks_ + 1 : 1;
    sortColumn_ = column;
    const bool ascending = sortClicks_ % 2 == 1;
    std::iota(rows.begin(), rows.end(), 0);
    const auto key = [&](int r) { return keys.data() + at[static_cast<std::size_t>(r)]; };
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const int c = std::strcmp(key(a), key(b));
        return ascending ? c < 0 : c > 0;
    });
    (void)Order().Reorder(rows);
    entries_.selectedRow = n - 1;
    if (observer_) {
        observer_->RowsReset();
        observer_->StateChanged();
    }
}

void MonitorEngine::OnGlobalOptions() {
    if (Busy() || shutdownDone_) return;
    Paused paused(*this);
    GlobalSettings edited = settings_;
    if (!ports_.sheets || !SheetAccepted(ports_.sheets->RunGlobalOptions(edited))) return;
    ApplyGlobalOptions(edited);
}

void MonitorEngine::ApplyGlobalOptions(const GlobalSettings& edited) {
    const GlobalSettings before = settings_;
    settings_ = edited;
    // The sheet has no say over the columns: they stay as the window holds
    // them until the shutdown reads them back.
    settings_.columnPosition = before.columnPosition;
    settings_.columnWidth = before.columnWidth;
    // Nor over a pause of the alerts, which the icon's menu may change meanwhile.
    settings_.alertsPausedUntil = before.alertsPausedUntil;
    NormaliseSettings(settings_);
    if (store_) {
        store_->WriteListAndAlertSettings(settings_);
        store_->WriteRunOptions(settings_, before.startup);
    }
    if (observer_) observer_->OptionsApplied();
    for (int cls : {kFrequencyLow, kFrequencyMedium, kFrequencyHigh}) {
        if (UpdateScheduler::ClassInterval(cls, settings_) !=
            UpdateScheduler::ClassInterval(cls, before)) {
            scheduler_.ScheduleClass(cls);
        }
    }
}

}  // namespace tarnwatch

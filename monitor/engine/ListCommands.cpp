// The commands of the main window's list.
#include "engine/ListCommands.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "engine/SettingsTable.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

constexpr std::size_t kEditStatusMax = 79;

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

void ListCommands::Select(int row) {
    model_.entries.selectedRow = model_.entries.IsRow(row) ? row : -1;
    if (model_.entries.selectedRow >= 0) {
        buttons_.edit = buttons_.remove = true;
        buttons_.moveUp = buttons_.moveDown = true;
    }
    model_.StateChanged();
}

void ListCommands::RefreshRow(int row, bool writeBack, int image, const std::string& status) {
    if (writeBack) {
        ServiceItem& record = model_.entries.RecordAtRow(row);
        const std::int32_t state = record.state;
        const std::int32_t ownRow = record.row;
        record = model_.workingEntry;
        record.state = state;
        record.row = ownRow;
    }
    model_.Row(row) = MakeRowView(model_.workingEntry, image, status);
    model_.RowChanged(row);
}

void ListCommands::Add() {
    model_.workingEntry = model_.newEntryTemplate;
    model_.workingEntry.attempt = 0;
    model_.entries.selectedRow = -1;
    model_.StateChanged();
    if (!ports_.sheets || !SheetAccepted(ports_.sheets->RunEntrySheet(model_.workingEntry))) return;
    if (store_) store_->WriteListAndAlertSettings(model_.settings);
    if (!Acceptable(model_.workingEntry)) return;

    ServiceItem record = model_.workingEntry;
    record.state = kStateUntested;
    const int row = model_.entries.rowCount;
    if (!model_.Order().Append(
            record, MakeRowView(model_.workingEntry, kImageWarning, LoadString(IDS_UNKNOWN)))) {
        if (ports_.messageBox) ports_.messageBox->Show(LoadString(IDS_NO_MEMORY_TO_ADD));
        return;
    }
    model_.entries.selectedRow = row;
    if (model_.observer) model_.observer->RowsInserted(row, 1);
    SetRowButtons(true);
    model_.StateChanged();
    keeper_.Save(true);
}

void ListCommands::Edit() {
    int row = model_.entries.selectedRow;
    if (!model_.entries.IsRow(row)) return;
    model_.LoadWorkingEntry(row, true);
    const RowView& view = model_.Row(row);
    const int image = EnabledImage(view.image);
    const std::string status = view.cells[kColStatus].substr(0, kEditStatusMax);
    // The entry keeps its record slot wherever its row goes while the sheet
    // is open; the sheet's result belongs to that entry or to none.
    const std::int32_t slot = model_.entries.order[static_cast<std::size_t>(row)];
    if (!ports_.sheets || !SheetAccepted(ports_.sheets->RunEntrySheet(model_.workingEntry))) return;
    model_.entries.NumberRows();
    row = model_.entries.records[static_cast<std::size_t>(slot)].row;
    if (!model_.entries.IsRow(row)) return;
    if (store_) store_->WriteListAndAlertSettings(model_.settings);
    if (model_.workingEntry.address[0] == '\0') {
        RemoveRow(row);
    } else {
        RefreshRow(row, true, image, status);
        buttons_.update = true;
        model_.StateChanged();
    }
    keeper_.Save(true);
}

void ListCommands::RemoveRow(int row) {
    if (!model_.entries.IsRow(row)) return;
    model_.Order().Remove(row);
    if (model_.observer) model_.observer->RowRemoved(row);
    if (model_.entries.rowCount == 0) {
        SetRowButtons(false);
        model_.entries.selectedRow = -1;
    } else {
        model_.entries.selectedRow = std::min(row > 0 ? row - 1 : 0, model_.entries.rowCount - 1);
    }
    model_.StateChanged();
}

void ListCommands::Remove() {
    if (!model_.entries.IsRow(model_.entries.selectedRow)) return;
    RemoveRow(model_.entries.selectedRow);
}

void ListCommands::SetRowButtons(bool enabled) {
    buttons_.remove = buttons_.edit = buttons_.update = enabled;
    buttons_.moveUp = buttons_.moveDown = enabled;
}

void ListCommands::ResetButtons() {
    buttons_ = ButtonStates{};
    buttons_.add = true;
    SetRowButtons(model_.entries.recordCount > 0);
}

void ListCommands::Move(int from, int to) {
    if (!model_.entries.IsRow(from) || !model_.entries.IsRow(to)) return;
    model_.Order().Swap(from, to);
    model_.entries.selectedRow = to;
    if (model_.observer) {
        model_.observer->RowMoved(from, to);
        model_.observer->StateChanged();
    }
}

void ListCommands::Sort(int column) {
    if (column < 0 || column >= kColumnCount) return;
    const int n = model_.entries.rowCount;
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
            const char* cell = model_.Row(r).cells[static_cast<std::size_t>(column)].c_str();
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
    (void)model_.Order().Reorder(rows);
    model_.entries.selectedRow = n - 1;
    if (model_.observer) {
        model_.observer->RowsReset();
        model_.observer->StateChanged();
    }
}

}  // namespace tarnwatch

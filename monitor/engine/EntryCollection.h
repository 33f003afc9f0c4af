// The in-memory list of entries: the record array, the display order, the
// counts and the selected row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/GapArray.h"
#include "engine/ServiceItem.h"

namespace tarnwatch {

class EntryCollection {
public:
    // Room for `count` records and one more, and as many order entries.
    // Returns false, with the collection left empty, when the memory cannot
    // be had.
    bool Allocate(int count);
    // Makes room for one more record and order entry beyond the current ones
    // (recordCount + 2 records, rowCount + 2 order entries). False when the
    // memory cannot be had; nothing changes then.
    bool Grow();
    // Frees everything; both counts become 0 and nothing is selected.
    void Clear();

    ServiceItem& RecordAtRow(int row) { return records[static_cast<std::size_t>(order[row])]; }
    const ServiceItem& RecordAtRow(int row) const {
        return records[static_cast<std::size_t>(order[row])];
    }
    bool IsRow(int row) const { return row >= 0 && row < rowCount; }
    // Gives the records shown from `staleRowsFrom` on their `row` again.
    void NumberRows();

    // Caps what Allocate and Grow may take, in bytes (0 = no cap), so that
    // the out-of-memory paths can be exercised.
    static void SetAllocationCapForTesting(std::size_t bytes);

    std::vector<ServiceItem> records;  // size = capacity in records
    GapArray<std::int32_t> order;      // display row -> record slot
    int recordCount = 0;               // slots in use, removed ones included
    int rowCount = 0;                  // rows shown
    int selectedRow = -1;
    // Moving a row to the end shifts every row behind it; their records'
    // `row` is brought up to date once, by NumberRows, when the list order
    // needs it, a test pass ends or an entry is looked up by its record.
    int staleRowsFrom = std::numeric_limits<int>::max();
};

}  // namespace tarnwatch

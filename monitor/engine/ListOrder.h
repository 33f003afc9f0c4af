// The one owner of the list's order. The record array, `order` (display row
// to record slot), each record's `row` and the rows the window shows change
// together here and nowhere else, so they can never disagree:
//   order[0 .. rowCount-1] are the slots shown, records[order[i]].row == i
//   (from entries.staleRowsFrom on, once the rows are numbered again),
//   rows[i] shows the record at order[i], and a removed record keeps its slot
//   with row -1.
#pragma once

#include <vector>

#include "engine/EntryCollection.h"
#include "engine/RowDisplay.h"

namespace tarnwatch {

class ListOrder {
public:
    ListOrder(EntryCollection& entries, RowList& rows) : entries_(entries), rows_(rows) {}

    // Adds `record` as a new last row shown as `view`; its `row` is set here.
    // False, with nothing changed, when the arrays cannot grow.
    [[nodiscard]] bool Append(const ServiceItem& record, RowView view);
    // Takes row `row` out of the list; its record keeps its slot.
    void Remove(int row);
    // Exchanges two rows.
    void Swap(int a, int b);
    // Moves `row` to the end; the rows after it move up by one. Their
    // records are numbered again later (EntryCollection::NumberRows), so a
    // run of moves from one advancing row costs O(1) each.
    void MoveToEnd(int row);
    // Row i becomes what row permutation[i] was. `permutation` must hold each
    // row exactly once; anything else changes nothing and returns false.
    bool Reorder(const std::vector<int>& permutation);

    // True when the invariant above holds.
    bool Consistent() const;

private:
    void Renumber(int from, int to);

    EntryCollection& entries_;
    RowList& rows_;
};

}  // namespace tarnwatch

// The list's order.
#include "engine/ListOrder.h"

#include <algorithm>
#include <limits>

namespace tarnwatch {

void ListOrder::Renumber(int from, int to) {
    for (int i = from; i < to; ++i) {
        entries_.records[static_cast<std::size_t>(entries_.order[static_cast<std::size_t>(i)])]
            .row = i;
    }
}

bool ListOrder::Append(const ServiceItem& record, RowView view) {
    if (!entries_.Grow()) return false;
    try {
        rows_.reserve(static_cast<std::size_t>(entries_.rowCount) + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int slot = entries_.recordCount;
    const int row = entries_.rowCount;
    ServiceItem& stored = entries_.records[static_cast<std::size_t>(slot)];
    stored = record;
    stored.row = row;
    entries_.order[static_cast<std::size_t>(row)] = slot;
    rows_.push_back(std::move(view));
    ++entries_.recordCount;
    ++entries_.rowCount;
    return true;
}

void ListOrder::Remove(int row) {
    if (!entries_.IsRow(row)) return;
    entries_.NumberRows();
    entries_.RecordAtRow(row).row = -1;
    const auto n = static_cast<std::size_t>(entries_.rowCount);
    entries_.order.Rotate(static_cast<std::size_t>(row), n);
    rows_.Rotate(static_cast<std::size_t>(row), n);
    rows_.resize(n - 1);
    --entries_.rowCount;
    Renumber(row, entries_.rowCount);
    // Beyond the rows the order keeps only the room Grow would make.
    if (entries_.order.size() > n + 1) entries_.order.resize(n + 1);
}

void ListOrder::Swap(int a, int b) {
    if (!entries_.IsRow(a) || !entries_.IsRow(b) || a == b) return;
    std::swap(entries_.order[static_cast<std::size_t>(a)],
              entries_.order[static_cast<std::size_t>(b)]);
    std::swap(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
    Renumber(std::min(a, b), std::min(a, b) + 1);
    Renumber(std::max(a, b), std::max(a, b) + 1);
}

void ListOrder::MoveToEnd(int row) {
    if (!entries_.IsRow(row) || row == entries_.rowCount - 1) return;
    const auto end = static_cast<std::size_t>(entries_.rowCount);
    entries_.order.Rotate(static_cast<std::size_t>(row), end);
    rows_.Rotate(static_cast<std::size_t>(row), end);
    entries_.staleRowsFrom = std::min(entries_.staleRowsFrom, row);
}

bool ListOrder::Reorder(const std::vector<int>& permutation) {
    const int n = entries_.rowCount;
    if (static_cast<int>(permutation.size()) != n) return false;
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    for (int p : permutation) {
        if (p < 0 || p >= n || seen[static_cast<std::size_t>(p)]) return false;
        seen[static_cast<std::size_t>(p)] = true;
    }
    std::vector<std::int32_t> order(static_cast<std::size_t>(n));
    RowList rows;
    rows.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto from = static_cast<std::size_t>(permutation[static_cast<std::size_t>(i)]);
        order[static_cast<std::size_t>(i)] = entries_.order[from];
        rows.push_back(std::move(rows_[from]));
    }
    std::copy(order.begin(), order.end(), entries_.order.begin());
    rows_.swap(rows);
    Renumber(0, n);
    entries_.staleRowsFrom = std::numeric_limits<int>::max();
    return true;
}

bool ListOrder::Consistent() const {
    const int n = entries_.rowCount;
    if (n < 0 || n > entries_.recordCount || static_cast<int>(rows_.size()) != n) return false;
    if (entries_.order.size() < static_cast<std::size_t>(n) + 1) return false;
    if (entries_.records.size() < static_cast<std::size_t>(entries_.recordCount) + 1) return false;
    std::vector<int> shownAt(static_cast<std::size_t>(entries_.recordCount), -1);
    for (int i = 0; i < n; ++i) {
        const int slot = entries_.order[static_cast<std::size_t>(i)];
        if (slot < 0 || slot >= entries_.recordCount) return false;
        if (shownAt[static_cast<std::size_t>(slot)] != -1) return false;
        shownAt[static_cast<std::size_t>(slot)] = i;
    }
    for (int slot = 0; slot < entries_.recordCount; ++slot) {
        const int row = shownAt[static_cast<std::size_t>(slot)];
        // A row not numbered again yet may hold any number.
        if (row >= entries_.staleRowsFrom) continue;
        if (entries_.records[static_cast<std::size_t>(slot)].row != row) return false;
    }
    return true;
}

}  // namespace tarnwatch

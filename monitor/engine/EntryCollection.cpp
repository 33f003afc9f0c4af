// Allocation and growth of the entry collection. Memory failures come back as
// false, never as exceptions.
#include "engine/EntryCollection.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tarnwatch {
namespace {

std::size_t g_allocationCap = 0;

bool Fits(std::size_t records, std::size_t orders) {
    if (g_allocationCap == 0) return true;
    return records * sizeof(ServiceItem) + orders * sizeof(std::int32_t) <= g_allocationCap;
}

bool Resize(std::vector<ServiceItem>& records, std::size_t nRecords, GapArray<std::int32_t>& order,
            std::size_t nOrders) {
    if (!Fits(nRecords, nOrders)) return false;
    try {
        ServiceItem blank;
        std::memset(&blank, 0, sizeof blank);
        records.resize(nRecords, blank);
        order.resize(nOrders, 0);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace

void EntryCollection::SetAllocationCapForTesting(std::size_t bytes) {
    g_allocationCap = bytes;
}

bool EntryCollection::Allocate(int count) {
    Clear();
    if (count < 0) return false;
    std::size_t n = static_cast<std::size_t>(count) + 1;
    if (!Resize(records, n, order, n)) {
        Clear();
        return false;
    }
    return true;
}

bool EntryCollection::Grow() {
    std::size_t nRecords = static_cast<std::size_t>(recordCount) + 2;
    std::size_t nOrders = static_cast<std::size_t>(rowCount) + 2;
    if (nRecords <= records.size() && nOrders <= order.size()) return true;
    std::size_t keepRecords = records.size();
    std::size_t keepOrders = order.size();
    if (!Resize(records, std::max(nRecords, keepRecords), order, std::max(nOrders, keepOrders))) {
        records.resize(keepRecords);
        order.resize(keepOrders);
        return false;
    }
    return true;
}

void EntryCollection::Clear() {
    std::vector<ServiceItem>().swap(records);
    GapArray<std::int32_t>().swap(order);
    recordCount = 0;
    rowCount = 0;
    selectedRow = -1;
    staleRowsFrom = std::numeric_limits<int>::max();
}

void EntryCollection::NumberRows() {
    for (int r = std::max(0, staleRowsFrom); r < rowCount; ++r) RecordAtRow(r).row = r;
    staleRowsFrom = std::numeric_limits<int>::max();
}

}  // namespace tarnwatch

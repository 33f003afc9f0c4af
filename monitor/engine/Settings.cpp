// Defaults of the global settings and the column order rule.
#include "engine/Settings.h"

namespace tarnwatch {

GlobalSettings DefaultSettings() {
    GlobalSettings s;
    s.alerts = NewEntryTemplate().alerts;
    CopyText(s.internetAddresses[0], kDefaultInternetAddress);
    return s;
}

bool IsColumnPermutation(const std::array<std::int32_t, kColumnCount>& positions) {
    std::array<bool, kColumnCount> taken{};
    for (std::int32_t p : positions) {
        if (p < 0 || p >= kColumnCount || taken[static_cast<std::size_t>(p)]) return false;
        taken[static_cast<std::size_t>(p)] = true;
    }
    return true;
}

std::array<int, kColumnCount> ColumnOrder(const std::array<std::int32_t, kColumnCount>& positions) {
    std::array<int, kColumnCount> order{};
    if (!IsColumnPermutation(positions)) {
        // A damaged set of positions would leave a hole: the default order.
        for (int i = 0; i < kColumnCount; ++i) order[static_cast<std::size_t>(i)] = i;
        return order;
    }
    for (int c = 0; c < kColumnCount; ++c) {
        order[static_cast<std::size_t>(positions[static_cast<std::size_t>(c)])] = c;
    }
    return order;
}

}  // namespace tarnwatch

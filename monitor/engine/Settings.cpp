// Defaults of the global settings and the column order rule.
#include "engine/Settings.h"

namespace tarnwatch {

GlobalSettings DefaultSettings() {
    GlobalSettings s;
    s.alerts = NewEntryTemplate().alerts;
    CopyText(s.internetAddresses[0], kDefaultInternetAddress);
    return s;
}

std::array<int, kColumnCount> ColumnOrder(const std::array<std::int32_t, kColumnCount>& positions) {
    std::array<int, kColumnCount> order{};
    for (int p = 0; p < kColumnCount; ++p) {
        int found = -1;
        for (int c = 0; c < kColumnCount && found < 0; ++c) {
            if (positions[c] == p) found = c;
        }
        if (found < 0) {
            // A damaged set of positions: a position no column claims would
            // leave a hole, so the whole order falls back to the default.
            for (int i = 0; i < kColumnCount; ++i) order[i] = i;
            return order;
        }
        order[p] = found;
    }
    return order;
}

}  // namespace tarnwatch

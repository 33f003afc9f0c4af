// What one list row shows: its image, check state and eight cell texts, and
// the rules that derive them from an entry.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/GapArray.h"
#include "engine/ServiceItem.h"
#include "engine/Settings.h"

namespace tarnwatch {

// Row images of the list.
enum RowImage : int {
    kImageNetworkDisabled = 0,
    kImageNetwork = 1,
    kImageLocal = 2,
    kImageLocalDisabled = 3,
    kImageWarning = 4,
    kImageInformation = 5,
    kImageError = 6,
};

// Overall levels; each selects one status picture.
enum OverallLevel : int {
    kLevelOk = 3,
    kLevelWarning = 4,
    kLevelInformation = 5,
    kLevelError = 6,
};

struct RowView {
    int image = kImageWarning;
    bool checked = false;
    std::array<std::string, kColumnCount> cells;
};

// The rows, by row.
using RowList = GapArray<RowView>;

// The image a row shows: the given one for an enabled entry, else the
// disabled image of its kind.
int EffectiveRowImage(const ServiceItem& entry, int image);

// "min(attempt, attempts)/attempts", then the time of the last test as
// "  %H:%M:%S %d/%m/%y" in local time when there was one.
std::string AttemptText(const ServiceItem& entry);

// Fills every cell of a row from the entry; `status` goes to the Status cell.
RowView MakeRowView(const ServiceItem& entry, int image, const std::string& status);

}  // namespace tarnwatch

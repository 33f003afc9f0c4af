// Since when each entry is in its current status, and since when its current
// failure runs, for the running program only (the list file keeps no
// times). Kept by record slot, which an entry keeps wherever its row moves
// and which a new entry never shares with a removed one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwatch {

class StatusHistory {
public:
    // The entry in `slot` was tested at `now` and its state is `state` (the
    // record's state word), shown as `status`. A new kind of state starts
    // its time afresh; the failure's time starts at the first failed test
    // after a success (a retry counts) and ends at the next success.
    void Note(int slot, std::int32_t state, const std::string& status, std::int64_t now);
    // 0 while the entry has not been tested since the program started.
    std::int64_t StatusSince(int slot) const;
    // The status as it was shown when it began.
    std::string StatusText(int slot) const;
    // 0 while the entry is not failed.
    std::int64_t FailedSince(int slot) const;

private:
    struct Times {
        std::int32_t kind = 0;
        std::string status;
        std::int64_t since = 0;
        std::int64_t failedSince = 0;
    };
    const Times* At(int slot) const;
    std::vector<Times> bySlot_;
};

// A span of time as the tool tips say it: "45 s", "27 min", "3 h 05 min",
// "2 d 4 h".
std::string SpanText(std::int64_t seconds);

}  // namespace tarnwatch

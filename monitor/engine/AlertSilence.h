// The alerts the person has silenced. A pause holds every alert; it lives in
// the settings ("AlertsPausedUntil"), so it outlasts a restart. A snooze
// holds one entry's alerts; snoozes are kept by entry key in a small file
// beside the list, so they outlast a restart but not an edit of the entry.
// While silenced, tests run and rows change as ever; only what reaches the
// person (sounds, commands, the window coming back, notifications, the
// Internet messages) is held.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/Settings.h"

namespace tarnwatch {

// A snooze that ends when the entry is ok again rather than at a time.
inline constexpr std::int64_t kSnoozeUntilOk = -1;

// True while the settings' pause holds at `now`.
bool AlertsPaused(const GlobalSettings& settings, std::int64_t now);

class AlertSilence {
public:
    // `until` is a time (seconds since 1970) or kSnoozeUntilOk.
    void Snooze(std::uint64_t key, std::int64_t until) { snoozes_[key] = until; }
    // True when there was a snooze to end.
    bool EndSnooze(std::uint64_t key) { return snoozes_.erase(key) > 0; }
    // The end of the entry's snooze at `now`: a time, kSnoozeUntilOk, or 0
    // when it has none (a timed one that has run out counts as none).
    std::int64_t SnoozedUntil(std::uint64_t key, std::int64_t now) const;
    // The entry is ok again: a snooze until then ends. True when one did.
    bool Recovered(std::uint64_t key);
    // Takes out the timed snoozes that have run out by `now`, and says whose.
    std::vector<std::uint64_t> TakeEnded(std::int64_t now);
    // The earliest end of a timed snooze; 0 when none is timed.
    std::int64_t NextEnd() const;
    std::size_t Count() const { return snoozes_.size(); }
    // Forgets the snoozes of keys `known` does not hold (entries removed or
    // edited). True when any went.
    bool KeepOnly(const std::vector<std::uint64_t>& known);

    // The file holds one snooze a line: the key's 16 hex digits, a space and
    // the end ("-1" until ok). Lines that do not read so and snoozes already
    // run out at `now` are left out; a missing file holds none.
    void Load(const std::string& path, std::int64_t now);
    // Writes them all (no snooze: no file); false with `reason` on failure.
    bool Save(const std::string& path, std::string* reason) const;

private:
    std::map<std::uint64_t, std::int64_t> snoozes_;
};

}  // namespace tarnwatch

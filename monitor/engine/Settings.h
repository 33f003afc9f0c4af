// The global settings held by the main controller: run options, class
// intervals, list columns, global alert settings, Internet test addresses and
// Internet alert settings, with their first-start defaults.
#pragma once

#include <array>
#include <cstdint>

#include "engine/ServiceItem.h"

namespace tarnwatch {

inline constexpr int kColumnCount = 8;
inline constexpr int kMaxInternetAddresses = 10;
inline constexpr std::int32_t kDefaultCommandTimeLimit = 300;
inline constexpr std::int32_t kMaxCommandTimeLimit = 86400;
// How many entries a pass may test at once.
inline constexpr std::int32_t kMaxParallelTests = 256;

// Column indexes (sub-items) of the main list.
enum Column : int {
    kColAddress = 0,
    kColDescription = 1,
    kColSource = 2,
    kColServiceTest = 3,
    kColStatus = 4,
    kColAttempt = 5,
    kColTimeout = 6,
    kColFreq = 7,
};

// What the Internet gate does when no test address answers and when one
// answers again. The sound half's three enables are not used here: the gate
// has no failure classes.
struct InternetAlerts {
    SoundAlert sound = DefaultSoundAlert();
    BatchAlert batch{};
    std::int32_t messageBoxMode = kMessageBoxNone;  // MessageBoxMode
    std::int32_t messageBoxWhenAvailable = 0;
};

struct GlobalSettings {
    // run and control options
    std::int32_t minimize = 1;
    std::int32_t startup = 1;
    std::int32_t disableClose = 1;
    std::int32_t autoMove = 1;
    std::int32_t autoDisable = 0;
    std::int32_t restore = 1;
    std::int32_t lowInterval = 0;     // hours, 0-24
    std::int32_t mediumInterval = 0;  // half hours, 0-48
    std::int32_t highInterval = 0;    // minutes, 0-60
    std::int32_t parallelTests = 1;   // 1 tests one entry after the other
    // list columns by column index: display position and width in pixels
    std::array<std::int32_t, kColumnCount> columnPosition{0, 1, 2, 3, 4, 5, 6, 7};
    std::array<std::int32_t, kColumnCount> columnWidth{120, 80, 90, 80, 100, 80, 50, 50};
    // alert block standing in for an entry's own when it uses the global one
    AlertBlock alerts{};
    // Internet connectivity test
    std::int32_t internetAddressCount = 1;
    char internetAddresses[kMaxInternetAddresses][kTextSize]{};
    InternetAlerts internetAlerts;
    // How long a waited alert command may run, in seconds; 0 = no limit. A
    // command that never ends would otherwise stop every test.
    std::int32_t commandTimeLimit = kDefaultCommandTimeLimit;
    // Desktop notifications of failures and recoveries (0/1).
    std::int32_t notify = 1;
    // Every alert is held until this time (seconds since 1970); 0 = none,
    // kPausedUntilResumed = until the user resumes them.
    std::int32_t alertsPausedUntil = 0;
};

inline constexpr std::int32_t kPausedUntilResumed = -1;

// The defaults a first start uses: the global alerts are the new-entry
// template's alert block.
GlobalSettings DefaultSettings();

// The default first Internet test address.
inline constexpr const char* kDefaultInternetAddress = "www.debian.org";

// True when the positions give every column its own place 0-7.
bool IsColumnPermutation(const std::array<std::int32_t, kColumnCount>& positions);

// The column order array: for each display position, the column shown there.
// Positions that are not a permutation of 0-7 fall back to the default order.
std::array<int, kColumnCount> ColumnOrder(const std::array<std::int32_t, kColumnCount>& positions);

}  // namespace tarnwatch

// What the monitor tells other programs about its entries: each entry's state
// as a small code, and the counts by outcome. The metrics text, the JSON
// report and the plugin line all read them from here, so they always agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

// An entry's (or the Internet gate's) state bits as one code, ordered from
// good to bad.
enum StateCode : int {
    kCodeUntested = 0,
    kCodeAvailable = 1,
    kCodeRetrying = 2,
    kCodeUnresolved = 3,
    kCodeTimedOut = 4,
    kCodeUnavailable = 5,
};
StateCode StateCodeOf(std::int32_t state);
// "untested", "available", "retrying", "unresolved", "timed_out", "unavailable".
const char* StateCodeName(StateCode code);

// The overall level counted from 0: 0 ok, 1 warning, 2 information, 3 error.
int LevelCode(int level);
// "ok", "warning", "information", "error".
const char* LevelName(int level);

// The frequency classes in the order the documents list them.
inline constexpr int kTimedClasses[] = {kFrequencyLow, kFrequencyMedium, kFrequencyHigh};
// "low", "medium", "high".
const char* ClassName(int cls);
// Seconds until the class's next update at `now`, or -1 while the class or
// the timers are off.
std::int64_t SecondsToNextUpdate(const MonitorEngine& engine, int cls, std::int64_t now);
// When the class is next updated, in seconds since 1970, or 0 while the class
// or the timers are off. Unlike the countdown, it stays true between passes.
std::int64_t NextUpdateTimestamp(const MonitorEngine& engine, int cls);

struct EntryCounts {
    int total = 0;
    int enabled = 0;
    int ok = 0;
    int failed = 0;    // retrying or in one of the failure states
    int untested = 0;  // enabled, not tested since the list was loaded
    int disabled = 0;
    std::vector<int> failedRows;
    std::vector<int> untestedRows;
};
EntryCounts CountEntries(const MonitorEngine& engine);
// Counts one entry at `row`; false when it is disabled.
bool CountEntry(EntryCounts& counts, const ServiceItem& entry, int row);

// Appends a number as the documents write it: integers without a fraction,
// others in the shortest form that reads back the same.
void AppendNumber(std::string& out, std::int64_t value);
void AppendNumber(std::string& out, double value);
// The same into `buf`; returns the length.
std::size_t FormatNumber(char (&buf)[32], std::int64_t value);
std::size_t FormatNumber(char (&buf)[32], double value);

}  // namespace tarnwatch

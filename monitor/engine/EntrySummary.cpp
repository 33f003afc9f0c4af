// State codes and counts of the entries.
#include "engine/EntrySummary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tarnwatch {

StateCode StateCodeOf(std::int32_t state) {
    // One status bit is set at a time; should a damaged record hold more, the
    // worst one counts.
    if (state & kStateUnavailable) return kCodeUnavailable;
    if (state & kStateTimedOut) return kCodeTimedOut;
    if (state & kStateUnresolved) return kCodeUnresolved;
    if (state & kStateRetrying) return kCodeRetrying;
    if (state & kStateAvailable) return kCodeAvailable;
    return kCodeUntested;
}

const char* StateCodeName(StateCode code) {
    switch (code) {
        case kCodeAvailable:
            return "available";
        case kCodeRetrying:
            return "retrying";
        case kCodeUnresolved:
            return "unresolved";
        case kCodeTimedOut:
            return "timed_out";
        case kCodeUnavailable:
            return "unavailable";
        default:
            return "untested";
    }
}

int LevelCode(int level) {
    return std::clamp(level, static_cast<int>(kLevelOk), static_cast<int>(kLevelError)) - kLevelOk;
}

const char* LevelName(int level) {
    static constexpr const char* kNames[] = {"ok", "warning", "information", "error"};
    return kNames[LevelCode(level)];
}

const char* ClassName(int cls) {
    switch (cls) {
        case kFrequencyLow:
            return "low";
        case kFrequencyMedium:
            return "medium";
        case kFrequencyHigh:
            return "high";
        default:
            return "on_demand";
    }
}

namespace {

bool ClassScheduled(const MonitorEngine& engine, int cls) {
    const UpdateScheduler& s = engine.Scheduler();
    return cls >= kFrequencyLow && cls <= kFrequencyHigh && s.timersOn() &&
           s.View().enabled[static_cast<std::size_t>(cls)] &&
           UpdateScheduler::ClassInterval(cls, engine.Settings()) > 0;
}

}  // namespace

std::int64_t SecondsToNextUpdate(const MonitorEngine& engine, int cls, std::int64_t now) {
    if (!ClassScheduled(engine, cls)) return -1;
    return std::max<std::int64_t>(0, engine.Scheduler().NextUpdateTime(cls) - now);
}

std::int64_t NextUpdateTimestamp(const MonitorEngine& engine, int cls) {
    return ClassScheduled(engine, cls) ? engine.Scheduler().NextUpdateTime(cls) : 0;
}

bool CountEntry(EntryCounts& c, const ServiceItem& e, int row) {
    ++c.total;
    if (!e.enabled) {
        ++c.disabled;
        return false;
    }
    ++c.enabled;
    switch (StateCodeOf(e.state)) {
        case kCodeAvailable:
            ++c.ok;
            break;
        case kCodeUntested:
            ++c.untested;
            c.untestedRows.push_back(row);
            break;
        default:
            ++c.failed;
            c.failedRows.push_back(row);
            break;
    }
    return true;
}

EntryCounts CountEntries(const MonitorEngine& engine) {
    EntryCounts c;
    const EntryCollection& entries = engine.Entries();
    for (int r = 0; r < entries.rowCount; ++r) CountEntry(c, entries.RecordAtRow(r), r);
    return c;
}

std::size_t FormatNumber(char (&buf)[32], std::int64_t value) {
    return static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf);
}

std::size_t FormatNumber(char (&buf)[32], double value) {
    const char* special = std::isnan(value)   ? "NaN"
                          : std::isinf(value) ? (value > 0 ? "+Inf" : "-Inf")
                                              : nullptr;
    if (special) {
        const std::size_t n = std::strlen(special);
        std::memcpy(buf, special, n);
        return n;
    }
    return static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf);
}

void AppendNumber(std::string& out, std::int64_t value) {
    char buf[32];
    out.append(buf, FormatNumber(buf, value));
}

void AppendNumber(std::string& out, double value) {
    char buf[32];
    out.append(buf, FormatNumber(buf, value));
}

}  // namespace tarnwatch

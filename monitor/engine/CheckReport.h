// The report of one pass for other programs: the status line that monitors
// which schedule check plugins take as the check's result, and a JSON
// document of every entry for scripts.
#pragma once

#include <cstdint>
#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

// The plugin exit codes.
enum CheckCode : int {
    kCheckOk = 0,
    kCheckWarning = 1,
    kCheckCritical = 2,
    kCheckUnknown = 3,
};

struct CheckResult {
    int exitCode = kCheckOk;
    // Why no pass could run at all (with kCheckUnknown); empty otherwise.
    std::string error;
};

// "OK", "WARNING", "CRITICAL" or "UNKNOWN".
const char* CheckWord(int exitCode);

// One line, without its line feed, in the plugin form:
//   TARNWATCH OK - 5 of 5 entries ok | ok=5;;;0;5 failed=0;;;0;5 ...
//   TARNWATCH CRITICAL - 2 of 5 entries failed: web, mail | ...
// naming the entries that are not ok (by description, else address), with
// the counts and the pass's length as performance data. An unknown result
// gives its reason and no performance data.
std::string PluginLine(const MonitorEngine& engine, const CheckResult& result);

// One JSON document (UTF-8, ending in a line feed): the result, the overall
// level, the Internet gate, the classes, the counts and every entry with the
// fields of the metrics and the cells of the table.
std::string JsonReport(const MonitorEngine& engine, std::int64_t now, const CheckResult& result);

}  // namespace tarnwatch

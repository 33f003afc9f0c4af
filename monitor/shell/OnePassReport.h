// What the one-pass headless mode needs around its report: standard output
// kept for the report alone, and the reason no pass can run on the list.
#pragma once

#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

// Keeps standard output for the one-pass report alone: from construction
// (with `divert`) until Restore(), what the entries' programs and alert
// commands print goes to standard error, so a monitor that reads the first
// line as the check's status gets the status.
class ReportOutput {
public:
    explicit ReportOutput(bool divert);
    ~ReportOutput();
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;
    void Restore();

private:
    int saved_ = -1;
};

// Why no pass can run on the list the engine loaded (a list file that exists
// but cannot be read, or no memory for it), or "" when one can. A list file
// that does not exist yet is an empty list, not an error.
std::string UnreadableList(const MonitorEngine& engine);

}  // namespace tarnwatch

// The monitor without a window: the same engine, driven by a Qt core event
// loop, reporting each tested row on standard output.
#pragma once

#include "shell/MetricsOutput.h"

namespace tarnwatch {

struct HeadlessOptions {
    // One pass over every entry, then a status line in the plugin form and a
    // table of the rows (or, with `json`, one JSON document), the list saved,
    // and an exit code from the overall level (0 Ok, 1 Warning or
    // Information, 2 Error), or 3 when no pass could run on the list at all
    // or the report could not be written.
    bool once = false;
    bool json = false;
    // Entries tested at once; 0 leaves it to the profile.
    int parallel = 0;
    MetricsOptions metrics;
};

// Without `once`, the schedule runs until SIGTERM, SIGINT or SIGHUP, also
// when standard output can no longer be written. Refuses to start (-1) while
// another copy runs.
int RunHeadless(int& argc, char** argv, const HeadlessOptions& options);

// The exit code of an overall level, as monitoring plugins use them.
int ExitCodeForLevel(int level);

}  // namespace tarnwatch

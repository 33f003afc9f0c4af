// The monitor without a window: the same engine, driven by a Qt core event
// loop, reporting each tested row on standard output.
#pragma once

namespace tarnwatch {

// `once`: one pass over every entry, a table of the rows, the list saved,
// then an exit code from the overall level (0 Ok, 1 Warning or Information,
// 2 Error). Otherwise the schedule runs until SIGTERM, SIGINT or SIGHUP.
// Refuses to start (-1) while another copy runs.
int RunHeadless(int& argc, char** argv, bool once);

// The exit code of an overall level, as monitoring plugins use them.
int ExitCodeForLevel(int level);

}  // namespace tarnwatch

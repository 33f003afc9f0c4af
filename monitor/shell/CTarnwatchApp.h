// The application: start-up checks, the main window run modally, and the
// paths by which the program ends (session end and termination signals run
// the whole shutdown so nothing is lost).
#pragma once

#include <string>

#include "engine/SingleInstance.h"
#include "shell/MetricsOutput.h"

namespace tarnwatch {

class CTarnwatchApp {
public:
    // Runs the program; returns its exit code (-1 when it refuses to start).
    int Run(int& argc, char** argv);

    // Always 0 here: the process-list probe of the modern family is used.
    int isWindows9x = 0;
    // The command line's metrics options; the profile fills in the file.
    MetricsOptions metrics;
    // Entries tested at once from the command line; 0 leaves it to the
    // profile.
    int parallel = 0;
};

// How many copies of this program the current user runs, this one
// included: live processes whose program file has exactly this program's
// name. Other users' processes and zombies do not count.
int RunningCopies(int isWindows9x);

// "" when this copy may run: no other copy of the user's runs, and the list
// directory's lock is taken into `lock`, which holds it for the program's
// life, so two copies never share a list whatever their names. Temporary
// files that interrupted saves left there are then removed. Otherwise the
// message that says why this copy may not run: another runs, or the lock
// cannot be taken (a copy that ran unlocked could share its list).
std::string ClaimSingleInstance(int isWindows9x, ListDirectoryLock& lock);

// Installs handlers for SIGTERM, SIGINT and SIGHUP that, instead of killing
// the process, make `onSignal` run on the event loop. Call after the
// application object exists.
void InstallTerminationSignals(void (*onSignal)(void*), void* context);

}  // namespace tarnwatch

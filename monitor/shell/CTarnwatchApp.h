// The application: start-up checks, the main window run modally, and the
// paths by which the program ends (session end and termination signals run
// the whole shutdown so nothing is lost).
#pragma once

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
};

// How many processes named like this program run, this one included. Names
// compare without regard to case, so the program file "tarnwatch" counts.
int RunningCopies(int isWindows9x);

// Installs handlers for SIGTERM, SIGINT and SIGHUP that, instead of killing
// the process, make `onSignal` run on the event loop. Call after the
// application object exists.
void InstallTerminationSignals(void (*onSignal)(void*), void* context);

}  // namespace tarnwatch

// Runs a command line, optionally waiting for it while the engine keeps
// pumping. A line is started the first of these ways that works:
//   1. the program named by the line's first word (found on PATH), the line
//      split into words by the shell's quoting rules without any expansion;
//   2. the whole line as one program path (a path with blanks);
//   3. /bin/sh -c with the line.
// A line that uses shell syntax goes straight to the shell. A program that
// was started is never started again, whatever its exit code.
#pragma once

#include <string>
#include <vector>

#include "engine/Ports.h"

namespace tarnwatch {

inline constexpr int kRunOk = 0;
inline constexpr int kRunNotRun = -1;       // could not be started by any way
inline constexpr int kRunNonZeroExit = -2;  // ran and ended with a non-zero code
inline constexpr int kRunTimedOut = -3;     // the time limit ran out; it was killed
inline constexpr int kRunStopped = -4;      // the pump asked to stop waiting; it was killed

// `wait` 0: start and return kRunOk at once (kRunNotRun only for an empty
// line); the program is reaped when it ends, so it never lingers as a zombie.
// `wait` 1: wait for the end, pumping `pump` (may be null) between short
// slices. The program's output reaches the monitor's own through pipes that
// close when the program ends (see OutputRelay.h). A time limit above 0 seconds ends the wait: the
// program's process group gets SIGTERM, a moment later SIGKILL, and the result is kRunTimedOut. A
// pump that asks to stop ends the wait the same way, with kRunStopped. `environment` entries
// ("NAME=value") are added to the monitor's own environment for the program, replacing variables of
// the same name.
[[nodiscard]] int RunCommand(const char* commandLine, int wait, MessagePump* pump = nullptr,
                             int timeLimitSeconds = 0,
                             const std::vector<std::string>& environment = {});

// Starts a command line without waiting, as RunCommand does with `wait` 0,
// but says whether it could be started: kRunNotRun for a line of plain words
// whose program cannot be started (no such file, not executable). A line of
// shell syntax always starts the shell, which reports on its own.
[[nodiscard]] int StartCommand(const char* commandLine);

}  // namespace tarnwatch

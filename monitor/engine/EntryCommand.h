// Runs a stored command of an entry: its Return_value program or one of the
// alert commands (the entry's own, or the Internet gate's for the entry being
// gated). Variables and macros are expanded, the entry's values are also in
// the program's environment, and a command whose expansion was refused is
// not run: one line on standard error names the entry.
#pragma once

#include "engine/CommandExpand.h"
#include "engine/CommandRunner.h"

namespace tarnwatch {

// RunCommand's result, or kRunNotRun with `refused` set when the expansion
// was refused.
int RunEntryCommand(const char* command, const CommandMacros& macros, int wait, MessagePump* pump,
                    int timeLimitSeconds = 0, bool* refused = nullptr);

}  // namespace tarnwatch

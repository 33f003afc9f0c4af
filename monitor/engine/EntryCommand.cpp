// Running an entry's stored commands; see EntryCommand.h.
#include "engine/EntryCommand.h"

namespace tarnwatch {

int RunEntryCommand(const char* command, const CommandMacros& macros, int wait, MessagePump* pump,
                    int timeLimitSeconds, bool* refused) {
    char line[kTextSize];
    bool wasRefused = false;
    ExpandCommand(command, line, macros, &wasRefused);
    if (refused) *refused = wasRefused;
    if (wasRefused) {
        ReportRefusedCommand(command, macros);
        return kRunNotRun;
    }
    return RunCommand(line, wait ? 1 : 0, pump, timeLimitSeconds, MacroEnvironment(macros));
}

}  // namespace tarnwatch

// Turns a stored command text into a command line: environment variables
// written %NAME% and the entry macros @A @D @O @P @S @T @V @W (either case)
// are replaced, "%%" and "@@" stand for one sign. The result never exceeds
// kCommandLineMax characters; what does not fit is cut.
//
// Macro values may come from the network (an agent's reply becomes the
// status text), so each value is quoted for the shell context it lands in
// and always reaches the program as the literal text. Where the line around
// a macro leaves the shell's reading of it in doubt (see
// ShellContextTracker::Uncertain), the command is refused instead: it
// expands to nothing, so nothing runs. The same holds for a value with
// shell syntax in it that lands where a second interpreter reads it as code
// (see NestedScript.h): no quoting for the outer shell protects it there.
// Commands read such values safely from the environment (MacroEnvironment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ServiceItem.h"

namespace tarnwatch {

inline constexpr std::size_t kCommandLineMax = kTextSize - 1;
inline constexpr std::size_t kStatusMacroMax = 39;

// The values behind the macros, taken at the moment of expansion.
struct CommandMacros {
    std::string address;            // @A
    std::int64_t lastTestTime = 0;  // @D (%d/%m/%y) and @T (%H:%M:%S), local time
    std::int32_t state = 0;         // @O: "ok" when exactly kStateAvailable, else "ko"
    std::string source;             // @P
    std::string statusCell;         // @S, cut to kStatusMacroMax characters
    std::int32_t serviceTest = -1;  // @V: the service test's name
    std::string description;        // @W
    // Seconds the entry was down, for its ok-again command; -1 otherwise.
    std::int64_t downSeconds = -1;
};

// The macros of an entry (the working entry) and its row's Status cell.
CommandMacros MacrosFor(const ServiceItem& entry, const char* statusCell);

// `refused`, when given, tells whether the command was refused.
std::string ExpandCommand(const char* command, const CommandMacros& macros,
                          bool* refused = nullptr);
// Writes the expansion into `out`, which holds kTextSize bytes; a null `out`
// receives nothing.
void ExpandCommand(const char* command, char* out, const CommandMacros& macros,
                   bool* refused = nullptr);

// The macro values as environment entries ("NAME=value"), for commands and
// scripts that pass them on to a nested shell: TARNWATCH_ADDRESS (@A),
// TARNWATCH_DESCRIPTION (@W), TARNWATCH_SOURCE (@P), TARNWATCH_STATUS (@S),
// TARNWATCH_SERVICE (@V), TARNWATCH_DATE (@D), TARNWATCH_TIME (@T) and
// TARNWATCH_OK (@O), with the values the macros give, and for an ok-again
// command TARNWATCH_DOWNTIME, the seconds the entry was down.
std::vector<std::string> MacroEnvironment(const CommandMacros& macros);

// Reports on standard error that `command` of the entry behind `macros` was
// refused, naming the entry by its description and address.
void ReportRefusedCommand(const char* command, const CommandMacros& macros);
// One line on standard error from the string-table text `messageId`, whose
// places are filled with the command, the entry's description and address,
// and `more`.
void ReportEntryCommand(int messageId, const char* command, const CommandMacros& macros,
                        const std::string& more = "");

}  // namespace tarnwatch

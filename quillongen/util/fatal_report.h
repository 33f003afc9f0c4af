// Fatal reports of the utility families. Until the message family carries
// them, a fatal condition is written to standard error in the message
// family's layout and the process ends.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace quillongen {

// Writes the fatal report for `code` raised in `function` and ends the process.
[[noreturn]] inline void fatalReport(const char* function, const char* text, int code) {
    std::fprintf(stderr, "\n FATAL CONDITION !!!\n Exception Code:\t %d\n Module:\t %s\n %s\n",
                 code, function, text);
    std::fflush(stderr);
    std::exit(EXIT_FAILURE);
}

}  // namespace quillongen

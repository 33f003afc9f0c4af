// Fatal reports of the utility families: the function's name goes into
// curr_fun and the text is reported through the message family at the fatal
// level, which writes the report, ends the message family and the program.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "quillongen/err.h"

namespace quillongen {

// Reports `text` with `code` as raised in `function` and ends the process.
[[noreturn]] inline void fatalReport(const char* function, const char* text, int code) {
    std::snprintf(curr_fun, sizeof curr_fun, "%s", function);
    err_mess(ERR_LEVEL_FATAL, static_cast<short>(code), text);
    std::exit(0);  // not reached: the fatal level ends the program
}

}  // namespace quillongen

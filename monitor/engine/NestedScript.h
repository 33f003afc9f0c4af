// Where a value inserted into a command line is read as code by a second
// interpreter: the script argument of `sh -c` (and of the other shells), the
// words after eval, su's -c command, the remote command of ssh, watch's
// command, the code of `python -c`, `perl -e` and their kind, the program of
// awk, and what a pipeline feeds into a shell's standard input. Quoting for
// the outer shell cannot protect a value there: the outer shell removes the
// quotes and hands the value on as code.
//
// Commands are recognised by their name with or without a path, behind
// wrappers such as env, sudo, nice, timeout, xargs or find -exec, inside
// command substitutions and with -c combined with other flags.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace tarnwatch {

// True when `value` holds only characters that mean nothing to any shell or
// script interpreter: ASCII letters and digits, blanks, and . - _ : / @.
bool HarmlessInAnyScript(std::string_view value);

// True when a value starting at any of `offsets` (ascending positions in
// `line`) lands where a second interpreter reads it as code.
bool AnyInNestedScript(std::string_view line, const std::vector<std::size_t>& offsets);

}  // namespace tarnwatch

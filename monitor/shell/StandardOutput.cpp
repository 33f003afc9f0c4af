// Writes to standard output that say when they fail.
#include "shell/StandardOutput.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {

bool StandardOutput::Write(std::string_view text) {
    error_.clear();
    if (std::fflush(stdout) != 0 || !WriteAll(STDOUT_FILENO, text.data(), text.size())) {
        error_ = std::strerror(errno);
        // stdio would otherwise keep the error and fail every later flush.
        std::clearerr(stdout);
        return false;
    }
    return true;
}

void StandardOutput::WriteOrTellOnce(std::string_view text) {
    if (Write(text) || told_) return;
    told_ = true;
    TellOnStandardError(FormatText(LoadString(IDS_OUTPUT_FAILED), {error_}));
}

void IgnoreBrokenPipes() {
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace tarnwatch

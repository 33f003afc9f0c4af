// Runs a piece of a test where no file may grow past a given size, as on a
// full disk: writes past the limit fail with EFBIG instead of a signal.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace tarnwatch::fakes {

// Runs `body` in a child process under the limit; true when it returned
// true. Nothing the child changes in memory reaches the caller.
inline bool TrueUnderFileSizeLimit(rlim_t bytes, const std::function<bool()>& body) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tarnwatch::fakes

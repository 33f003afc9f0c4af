// Starting, waiting for and reaping command-line programs; see
// CommandRunner.h.
#include "engine/CommandRunner.h"

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/OutputRelay.h"
#include "engine/ShellQuoting.h"

extern char** environ;

namespace tarnwatch {

namespace {

constexpr int kSliceMs = 50;
// How long a program that was asked to end may take before it is killed.
constexpr int kTermGraceMs = 1000;
// The shell's codes for a command it could not find or not execute.
constexpr int kShellNotFound = 127;
constexpr int kShellNotExecutable = 126;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Starts a program in a process group of its own (so a time limit can end
// it together with its children) with default signal handling and an empty
// signal mask, whatever the monitor has set for itself. 0 or an errno.
int Spawn(const std::vector<std::string>& args, bool searchPath, char* const envp[],
          const posix_spawn_file_actions_t* actions, pid_t& pid) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    if (int err = posix_spawnattr_init(&attr)) return err;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    int err = searchPath ? posix_spawnp(&pid, argv[0], actions, &attr, argv.data(), envp)
                         : posix_spawn(&pid, argv[0], actions, &attr, argv.data(), envp);
    posix_spawnattr_destroy(&attr);
    return err;
}

// Programs that run on unobserved are reaped by a thread that waits for
// them; should no thread be available, they are reaped at the next call.
std::mutex gOrphansMutex;
std::vector<pid_t> gOrphans;

void ReapOrphans() {
    std::lock_guard<std::mutex> lock(gOrphansMutex);
    for (auto it = gOrphans.begin(); it != gOrphans.end();) {
        int st = 0;
        pid_t r = waitpid(*it, &st, WNOHANG);
        if (r == *it || (r < 0 && errno == ECHILD)) {
            it = gOrphans.erase(it);
        } else {
            ++it;
        }
    }
}

void ReapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            int st = 0;
            while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        std::lock_guard<std::mutex> lock(gOrphansMutex);
        gOrphans.push_back(pid);
    }
}

bool HasExited(pid_t pid) {
    siginfo_t info{};
    // WNOWAIT keeps the process a zombie: its id cannot be reused while we
    // may still signal its group.
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno == ECHILD;
    }
    return info.si_pid == pid;
}

// Waits until `pid` has ended or `deadlineMs` passed, passing its output on
// and pumping between slices.
void WaitForExit(pid_t pid, int pidFd, std::int64_t deadlineMs, MessagePump* pump,
                 OutputRelay& relay) {
    int sleepMs = 1;
    while (!HasExited(pid)) {
        std::int64_t now = NowMs();
        if (now >= deadlineMs) return;
        int slice = static_cast<int>(std::min<std::int64_t>(kSliceMs, deadlineMs - now));
        if (pidFd < 0) {
            // Without a process descriptor, wait in growing steps so a
            // short program is still noticed quickly.
            slice = std::min(slice, sleepMs);
            sleepMs = std::min(sleepMs * 2, kSliceMs);
        }
        if (relay.Wait(pidFd, slice)) continue;
        if (pump) {
            pump->Pump();
            if (pump->StopRequested()) return;
        }
    }
}

// The monitor's environment with `extra` added; a variable of the same name
// is replaced.
class Environment {
public:
    explicit Environment(const std::vector<std::string>& extra) : extra_(extra) {
        for (char** e = environ; e && *e; ++e) {
            const std::string_view entry = *e;
            const std::string_view name = entry.substr(0, entry.find('='));
            const bool replaced =
                std::any_of(extra_.begin(), extra_.end(), [&](const std::string& x) {
                    return x.size() > name.size() && x.compare(0, name.size(), name) == 0 &&
                           x[name.size()] == '=';
                });
            if (!replaced) pointers_.push_back(*e);
        }
        for (const std::string& x : extra_) pointers_.push_back(const_cast<char*>(x.c_str()));
        pointers_.push_back(nullptr);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
    char* const* Entries() const { return pointers_.data(); }

private:
    std::vector<std::string> extra_;
    std::vector<char*> pointers_;
};

// How a line was started.
struct Started {
    bool started = false;
    bool viaShell = false;
};

// Starts the line the first way that works (see CommandRunner.h). A line of
// plain words that no program answers to is not handed to the shell unless
// `shellForPlainWords`.
Started Start(const std::string& line, const std::vector<std::string>& words, SplitResult split,
              bool shellForPlainWords, char* const envp[],
              const posix_spawn_file_actions_t* actions, pid_t& pid) {
    Started s;
    if (split == SplitResult::kWords) {
        s.started = Spawn(words, true, envp, actions, pid) == 0;
        if (!s.started) s.started = Spawn({line}, false, envp, actions, pid) == 0;
        if (s.started || !shellForPlainWords) return s;
    }
    s.started = Spawn({"/bin/sh", "-c", line}, false, envp, actions, pid) == 0;
    s.viaShell = true;
    return s;
}

int Reap(pid_t pid) {
    int st = 0;
    pid_t r;
    while ((r = waitpid(pid, &st, 0)) < 0 && errno == EINTR) {
    }
    return r == pid ? st : -1;
}

}  // namespace

int RunCommand(const char* commandLine, int wait, MessagePump* pump, int timeLimitSeconds,
               const std::vector<std::string>& environment) {
    ReapOrphans();
    const std::string line = commandLine ? commandLine : "";
    std::vector<std::string> words;
    const SplitResult split = SplitCommandWords(line, words);
    if (split == SplitResult::kEmpty) return kRunNotRun;

    const Environment env(environment);
    pid_t pid = -1;
    // A program that runs on unobserved keeps the monitor's own output.
    std::optional<OutputRelay> relay;
    if (wait) relay.emplace();
    // A line of plain words that no program answers to: without waiting
    // nothing more is tried.
    const Started s = Start(line, words, split, wait != 0, env.Entries(),
                            relay ? relay->Actions() : nullptr, pid);
    if (relay) relay->Started();
    const bool viaShell = s.viaShell;
    if (!s.started) return wait ? kRunNotRun : kRunOk;
    if (!wait) {
        ReapInBackground(pid);
        return kRunOk;
    }

    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    std::int64_t deadline = LLONG_MAX;
    if (timeLimitSeconds > 0) deadline = NowMs() + std::int64_t{timeLimitSeconds} * 1000;
    WaitForExit(pid, pidFd, deadline, pump, *relay);
    bool timedOut = false;
    bool stopped = false;
    if (!HasExited(pid)) {
        timedOut = true;
        stopped = pump && pump->StopRequested();
        kill(-pid, SIGTERM);
        // The grace period is waited out without the pump: a stop request
        // must not cut it short.
        WaitForExit(pid, pidFd, NowMs() + kTermGraceMs, nullptr, *relay);
    }
    if (timedOut) {
        // Whatever is left of the group goes too, also children that outlived
        // the program or ignore SIGTERM; the program is still unreaped, so
        // the group id is still ours.
        kill(-pid, SIGKILL);
    }
    // Whatever children the program left keep no output of ours.
    relay->Finish();
    if (pidFd >= 0) close(pidFd);
    const int status = Reap(pid);
    if (stopped) return kRunStopped;
    if (timedOut) return kRunTimedOut;
    if (status < 0) return kRunNotRun;
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == 0) return kRunOk;
        if (viaShell && (code == kShellNotFound || code == kShellNotExecutable)) return kRunNotRun;
    }
    return kRunNonZeroExit;
}

int StartCommand(const char* commandLine) {
    ReapOrphans();
    const std::string line = commandLine ? commandLine : "";
    std::vector<std::string> words;
    const SplitResult split = SplitCommandWords(line, words);
    if (split == SplitResult::kEmpty) return kRunNotRun;
    const Environment env({});
    pid_t pid = -1;
    if (!Start(line, words, split, false, env.Entries(), nullptr, pid).started) return kRunNotRun;
    ReapInBackground(pid);
    return kRunOk;
}

}  // namespace tarnwatch

// Starts the real tarnwatch program (or a copy of it under another name)
// with a given environment and arguments, and waits for it with a limit.
//
// Every program a test process starts runs in one private PID namespace with
// its own /proc, shared by the programs of that test process only: the
// single-instance rule then sees the test's own copies and never a monitor
// the developer runs on the same desktop. Root creates the namespace
// directly; another user creates it inside a user namespace that maps only
// that user. Where the kernel allows neither, a test starts with
// TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE() and is skipped with the reason.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwatch::fakes {

// The test's environment with `changes` ("NAME=value" sets, "NAME=" with
// nothing after the sign removes); a changed name never stands twice.
inline std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        if (change.size() == name.size() + 1) {
            vars.erase(name);
        } else {
            vars[name] = change;
        }
    }
    std::vector<std::string> out;
    for (auto& [name, entry] : vars) out.push_back(entry);
    return out;
}

namespace detail {

// Writes all of `text` to a file of /proc; false on any failure.
inline bool WriteProcFile(const char* path, const char* text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t n = std::strlen(text);
    const bool ok = write(fd, text, n) == static_cast<ssize_t>(n);
    close(fd);
    return ok;
}

inline void WriteInt(int fd, int value) {
    while (write(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

inline bool ReadInt(int fd, int& value) {
    ssize_t n;
    while ((n = read(fd, &value, sizeof value)) < 0 && errno == EINTR) {
    }
    return n == static_cast<ssize_t>(sizeof value);
}

// The namespace's first process (its init) lives as long as the test
// process: it is held by a go-between whose parent is the test process, and
// both die with their parent.
class PidNamespace {
public:
    static PidNamespace& Get() {
        static PidNamespace ns;
        return ns;
    }
    // Empty when programs can be started in the namespace; else why not.
    const std::string& error() const { return error_; }
    bool inUserNamespace() const { return userNamespace_; }
    std::string NamespaceFile(const char* kind) const {
        return "/proc/" + std::to_string(init_) + "/ns/" + kind;
    }

private:
    PidNamespace() {
        // Programs outlive the go-between that starts them: they must come
        // back to this process to be waited for.
        if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
            error_ = std::string("cannot adopt started programs: ") + std::strerror(errno);
            return;
        }
        userNamespace_ = geteuid() != 0;
        const std::string uidMap =
            std::to_string(geteuid()) + " " + std::to_string(geteuid()) + " 1";
        const std::string gidMap =
            std::to_string(getegid()) + " " + std::to_string(getegid()) + " 1";
        int report[2];
        int ready[2];
        if (pipe2(report, O_CLOEXEC) != 0) {
            Fail("pipe", errno);
            return;
        }
        if (pipe2(ready, O_CLOEXEC) != 0) {
            Fail("pipe", errno);
            return;
        }
        const pid_t test = getpid();
        const pid_t holder = fork();
        if (holder < 0) {
            Fail("fork", errno);
            return;
        }
        if (holder == 0) {
            // The go-between: only async-signal-safe calls from here on.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != test) _exit(1);
            int flags = CLONE_NEWPID | CLONE_NEWNS;
            if (userNamespace_) flags |= CLONE_NEWUSER;
            // Nothing of the test's own stays open in the namespace's init,
            // which lives on: a socket a test closes must really close.
            int keep[] = {report[1], ready[0], ready[1]};
            std::sort(std::begin(keep), std::end(keep));
            unsigned from = 3;
            for (int fd : keep) {
                if (static_cast<unsigned>(fd) > from)
                    close_range(from, static_cast<unsigned>(fd) - 1, 0);
                from = static_cast<unsigned>(fd) + 1;
            }
            close_range(from, ~0U, 0);
            auto fail = [&](int stage) {
                const int err = errno;
                WriteInt(report[1], -1);
                WriteInt(report[1], stage);
                WriteInt(report[1], err);
                _exit(1);
            };
            if (unshare(flags) != 0) fail(kUnshare);
            if (userNamespace_ && (!WriteProcFile("/proc/self/setgroups", "deny") ||
                                   !WriteProcFile("/proc/self/uid_map", uidMap.c_str()) ||
                                   !WriteProcFile("/proc/self/gid_map", gidMap.c_str()))) {
                fail(kMap);
            }
            const pid_t init = fork();
            if (init < 0) fail(kFork);
            if (init == 0) {
                // Its parent lies outside the namespace (getppid() is 0 here);
                // the go-between waits for this pipe, so it is still there.
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                int stage = 0;
                if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                    stage = kPrivate;
                } else if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                                 nullptr) != 0) {
                    stage = kProc;
                }
                const int err = stage != 0 ? errno : 0;
                WriteInt(ready[1], stage);
                WriteInt(ready[1], err);
                if (stage != 0) _exit(1);
                close(ready[1]);
                close(report[1]);
                // The namespace's init reaps what the programs leave behind.
                for (;;) {
                    if (wait(nullptr) < 0 && errno == ECHILD) sleep(1);
                }
            }
            int stage = kInit;
            int err = 0;
            close(ready[1]);
            if (!ReadInt(ready[0], stage) || !ReadInt(ready[0], err)) stage = kInit;
            WriteInt(report[1], stage == 0 ? init : -1);
            WriteInt(report[1], stage);
            WriteInt(report[1], err);
            close(report[1]);
            while (waitpid(init, nullptr, 0) < 0 && errno == EINTR) {
            }
            _exit(0);
        }
        close(report[1]);
        close(ready[0]);
        close(ready[1]);
        int init = -1;
        int stage = kInit;
        int err = 0;
        if (!ReadInt(report[0], init) || !ReadInt(report[0], stage) || !ReadInt(report[0], err)) {
            init = -1;
        }
        close(report[0]);
        if (init <= 0) {
            static const char* const kStages[] = {"",
                                                  "unshare",
                                                  "map the user",
                                                  "fork",
                                                  "make the mounts private",
                                                  "mount /proc",
                                                  "start the namespace"};
            error_ = std::string("no private PID namespace for the program (") +
                     (userNamespace_ ? "unprivileged user namespaces: " : "as root: ") +
                     kStages[stage >= 0 && stage <= kInit ? stage : kInit] +
                     " failed: " + std::strerror(err) +
                     "); tests that start the program would depend on what else runs here";
            return;
        }
        init_ = init;
    }

    void Fail(const char* what, int err) {
        error_ = std::string("no private PID namespace for the program: ") + what + ": " +
                 std::strerror(err);
    }

    enum { kUnshare = 1, kMap, kFork, kPrivate, kProc, kInit };
    std::string error_;
    bool userNamespace_ = false;
    pid_t init_ = -1;
};

}  // namespace detail

// Empty when programs start in the private PID namespace; else the reason
// they cannot.
inline std::string PrivatePidNamespaceUnavailable() {
    return detail::PidNamespace::Get().error();
}

// The pid, as this test process sees it, of the process that the programs'
// namespace knows as `namespacePid` (a pid a program or its script wrote
// down); -1 when there is none.
inline pid_t HostPidOf(pid_t namespacePid) {
    const auto& ns = detail::PidNamespace::Get();
    if (!ns.error().empty()) return -1;
    struct stat ours {};
    if (stat(ns.NamespaceFile("pid").c_str(), &ours) != 0) return -1;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat theirs {};
        if (stat(("/proc/" + name + "/ns/pid").c_str(), &theirs) != 0 ||
            theirs.st_ino != ours.st_ino || theirs.st_dev != ours.st_dev) {
            continue;
        }
        // "NSpid:" lists the pid in each namespace, the innermost last.
        std::ifstream status("/proc/" + name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("NSpid:", 0) != 0) continue;
            const std::size_t last = line.find_last_of(" \t");
            if (last != std::string::npos &&
                line.substr(last + 1) == std::to_string(namespacePid)) {
                return static_cast<pid_t>(std::stol(name));
            }
        }
    }
    return -1;
}

class Program {
public:
    // `env` entries ("NAME=value") change the test's own environment.
    // Standard error stays the test's unless `stderrPath` names a file.
    Program(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& stdoutPath = "/dev/null", const std::string& stderrPath = "",
            const std::string& program = std::string(TARNWATCH_BIN_DIR) + "/tarnwatch") {
        const auto& ns = detail::PidNamespace::Get();
        if (!ns.error().empty()) return;
        // Everything the children need is made before they are forked.
        std::vector<std::string> argStore{program};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<std::string> envStore = Environment(env);
        std::vector<char*> argv, envp;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string userFile = ns.NamespaceFile("user");
        const std::string pidFile = ns.NamespaceFile("pid");
        const std::string mntFile = ns.NamespaceFile("mnt");
        const std::string cwd = std::filesystem::current_path().string();
        const bool joinUser = ns.inUserNamespace();

        int started[2];
        int execFailed[2];
        if (pipe2(started, O_CLOEXEC) != 0) return;
        if (pipe2(execFailed, O_CLOEXEC) != 0) {
            close(started[0]);
            close(started[1]);
            return;
        }
        const pid_t between = fork();
        if (between == 0) {
            // Joins the namespaces; the next child is the namespace's.
            const int userFd = joinUser ? open(userFile.c_str(), O_RDONLY | O_CLOEXEC) : -1;
            const int pidFd = open(pidFile.c_str(), O_RDONLY | O_CLOEXEC);
            const int mntFd = open(mntFile.c_str(), O_RDONLY | O_CLOEXEC);
            if ((joinUser && setns(userFd, CLONE_NEWUSER) != 0) ||
                setns(pidFd, CLONE_NEWPID) != 0 || setns(mntFd, CLONE_NEWNS) != 0 ||
                chdir(cwd.c_str()) != 0) {
                detail::WriteInt(started[1], -1);
                _exit(1);
            }
            const pid_t child = fork();
            if (child == 0) {
                const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (out < 0 || dup2(out, 1) < 0) {
                    detail::WriteInt(execFailed[1], errno);
                    _exit(127);
                }
                if (!stderrPath.empty()) {
                    const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    if (err < 0 || dup2(err, 2) < 0) {
                        detail::WriteInt(execFailed[1], errno);
                        _exit(127);
                    }
                }
                execve(argv[0], argv.data(), envp.data());
                detail::WriteInt(execFailed[1], errno);
                _exit(127);
            }
            detail::WriteInt(started[1], child);
            _exit(0);
        }
        close(started[1]);
        close(execFailed[1]);
        int child = -1;
        if (between < 0 || !detail::ReadInt(started[0], child)) child = -1;
        if (between > 0) {
            while (waitpid(between, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        // The pipe closes without a word when the program was executed.
        int execError = 0;
        if (child > 0 && detail::ReadInt(execFailed[0], execError)) {
            waitpid(child, nullptr, 0);
            child = -1;
        }
        close(started[0]);
        close(execFailed[0]);
        pid_ = child > 0 ? child : -1;
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    pid_t pid() const { return pid_; }
    void Signal(int sig) { kill(pid_, sig); }
    // The exit status as waitpid gives it, or -1 if it did not end in time.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Running()) {
            if (std::chrono::steady_clock::now() >= end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status_;
    }
    bool Running() {
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return pid_ > 0 && !exited_;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

}  // namespace tarnwatch::fakes

// Skips the running test when programs cannot start in a private PID
// namespace here: its result would depend on what else runs on the machine.
#define TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE()                                         \
    do {                                                                                \
        const std::string twWhy = ::tarnwatch::fakes::PrivatePidNamespaceUnavailable(); \
        if (!twWhy.empty()) GTEST_SKIP() << twWhy;                                      \
    } while (0)

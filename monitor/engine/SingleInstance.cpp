// Counting the program's own copies and locking the list directory; see
// SingleInstance.h.
#include "engine/SingleInstance.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/ListFile.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

// The file name an executable link points to; "" when it cannot be read.
std::string ExecutableName(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return "";
    std::string path(target, static_cast<std::size_t>(n));
    // A program file replaced while it runs still names the program.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
        path.resize(path.size() - deleted.size());
    }
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct ProcessStatus {
    std::string kernelName;
    char state = '?';
    long realUid = -1;
};

bool ReadStatus(const std::string& dir, ProcessStatus& status) {
    std::ifstream in(dir + "/status");
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Name:\t", 0) == 0) {
            status.kernelName = line.substr(6);
        } else if (line.rfind("State:\t", 0) == 0 && line.size() > 7) {
            status.state = line[7];
        } else if (line.rfind("Uid:\t", 0) == 0) {
            status.realUid = std::strtol(line.c_str() + 5, nullptr, 10);
        }
    }
    return status.realUid >= 0;
}

// Live processes of the current user running a program named `name` for
// which `counts(pid)` holds.
int CountMatching(const std::string& name, const std::function<bool(long)>& counts) {
    if (name.empty()) return 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    const long uid = static_cast<long>(getuid());
    // The kernel keeps the first 15 characters of a program's name.
    const std::string kernelName = name.substr(0, 15);
    int count = 0;
    while (const dirent* entry = readdir(proc)) {
        const char* pid = entry->d_name;
        if (!std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        const std::string dir = std::string("/proc/") + pid;
        ProcessStatus status;
        if (!ReadStatus(dir, status) || status.realUid != uid) continue;
        // A zombie has ended; only its exit status is left to collect.
        if (status.state == 'Z' || status.state == 'X') continue;
        const std::string exe = ExecutableName(dir + "/exe");
        if (exe.empty() ? status.kernelName != kernelName : exe != name) continue;
        if (counts(std::strtol(pid, nullptr, 10))) ++count;
    }
    closedir(proc);
    return count;
}

}  // namespace

std::string OwnProgramName() {
    return ExecutableName("/proc/self/exe");
}

int CountOwnProcesses(const std::string& name) {
    return CountMatching(name, [](long) { return true; });
}

int CountClaimedCopies(const std::string& name) {
    const std::vector<int> holders = LockHolders();
    const long self = static_cast<long>(getpid());
    return CountMatching(name, [&](long pid) {
        return pid == self || std::find(holders.begin(), holders.end(), pid) != holders.end();
    });
}

std::vector<int> LockHolders(const std::string& locksFile) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:2a:5678 0 EOF"; a process waiting
    // for a lock has "->" before the kind.
    std::vector<int> holders;
    std::ifstream in(locksFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access;
        long pid = 0;
        if (!(fields >> number >> kind) || kind != "FLOCK") continue;
        if (fields >> mode >> access >> pid && pid > 0) holders.push_back(static_cast<int>(pid));
    }
    return holders;
}

StartTurn::StartTurn(const std::string& directory) {
    if (!MakeListDirectory(directory)) return;
    const std::string path = directory + "/Tarnwatch.start";
    const int fd =
        open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    // A copy holds the turn for a few milliseconds; one that stopped while
    // holding it must not keep every later start waiting.
    for (int tries = 0; tries < 500; ++tries) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        usleep(10000);
    }
    close(fd);
}

StartTurn::~StartTurn() {
    if (fd_ >= 0) close(fd_);
}

ListDirectoryLock::~ListDirectoryLock() {
    if (fd_ >= 0) close(fd_);
}

ListDirectoryLock::Result ListDirectoryLock::Acquire(const std::string& directory) {
    if (fd_ >= 0) return Result::kHeld;
    path_ = directory;
    if (!path_.empty() && path_.back() != '/') path_ += '/';
    path_ += LoadString(IDS_LOCK_FILE);
    const auto fail = [this](const std::string& why) {
        reason_ = why;
        return Result::kFailed;
    };
    errno = 0;
    if (!MakeListDirectory(directory)) return fail(std::strerror(errno ? errno : ENOTDIR));
    // Without blocking (a FIFO would hold the start) and never through a
    // link (another user's link would have us create or lock a file of
    // their choosing).
    const int fd = open(path_.c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return fail(errno == ELOOP ? LoadString(IDS_LOCK_IS_LINK) : std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return fail(LoadString(IDS_NOT_REGULAR_FILE));
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) return Result::kTaken;
        return fail(std::strerror(error));
    }
    fd_ = fd;
    return Result::kHeld;
}

}  // namespace tarnwatch

// /proc reading for the process-list probes. Every read is bounded and every
// failure is local to one process: a process that ends mid-walk is skipped.
#include "ProcScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qg_probes {
namespace {

constexpr char kDeletedMark[] = " (deleted)";
constexpr std::size_t kPidPathSize = 48;

void PidPath(char* out, pid_t pid, const char* leaf) {
    std::snprintf(out, kPidPathSize, "%d/%s", static_cast<int>(pid), leaf);
}

// Reads up to size - 1 bytes of a /proc file and NUL-terminates them;
// returns the length or -1.
ssize_t ReadSmallFile(int procFd, pid_t pid, const char* leaf, char* buf, std::size_t size) {
    char path[kPidPathSize];
    PidPath(path, pid, leaf);
    const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::size_t total = 0;
    while (total + 1 < size) {
        const ssize_t got = read(fd, buf + total, size - 1 - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return -1;
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    close(fd);
    buf[total] = '\0';
    return static_cast<ssize_t>(total);
}

const char* BaseName(const char* path, std::size_t len, std::size_t* baseLen) {
    std::size_t start = len;
    while (start > 0 && path[start - 1] != '/') --start;
    *baseLen = len - start;
    return path + start;
}

bool NameFromPath(const char* path, std::size_t len, char* name, std::size_t size) {
    std::size_t baseLen = 0;
    const char* base = BaseName(path, len, &baseLen);
    if (baseLen == 0) return false;
    CopyBounded(name, size, base, baseLen);
    return true;
}

std::int64_t TicksTo100ns(unsigned long long ticks) {
    static const long hz = [] {
        const long v = sysconf(_SC_CLK_TCK);
        return v > 0 ? v : 100;
    }();
    const auto h = static_cast<unsigned long long>(hz);
    const unsigned long long whole = ticks / h;
    const unsigned long long part = ticks % h;
    constexpr unsigned long long kUnitsPerSecond = 10000000ull;
    if (whole > static_cast<unsigned long long>(INT64_MAX) / kUnitsPerSecond) return INT64_MAX;
    return static_cast<std::int64_t>(whole * kUnitsPerSecond + part * kUnitsPerSecond / h);
}

}  // namespace

ProcessWalker::ProcessWalker() : dir_(nullptr), procFd_(-1) {
    DIR* d = opendir("/proc");
    if (d == nullptr) return;
    dir_ = d;
    procFd_ = dirfd(d);
}

ProcessWalker::~ProcessWalker() {
    if (dir_ != nullptr) closedir(static_cast<DIR*>(dir_));
}

bool ProcessWalker::Next(pid_t* pid) {
    if (dir_ == nullptr) return false;
    for (;;) {
        errno = 0;
        const dirent* e = readdir(static_cast<DIR*>(dir_));
        if (e == nullptr) return false;
        const char* n = e->d_name;
        if (*n < '1' || *n > '9') continue;
        long long value = 0;
        bool digits = true;
        for (; *n != '\0'; ++n) {
            if (*n < '0' || *n > '9' || value > 0x7FFFFFFF) {
                digits = false;
                break;
            }
            value = value * 10 + (*n - '0');
        }
        if (!digits || value > 0x7FFFFFFF) continue;
        *pid = static_cast<pid_t>(value);
        return true;
    }
}

void CopyBounded(char* dst, std::size_t size, const char* src, std::size_t len) {
    if (size == 0) return;
    const std::size_t n = len < size - 1 ? len : size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

bool ReadProcessStat(int procFd, pid_t pid, char* comm, std::size_t commSize, ProcessTimes* times) {
    char buf[1024];
    const ssize_t len = ReadSmallFile(procFd, pid, "stat", buf, sizeof buf);
    if (len <= 0) return false;
    // "pid (comm) state ...": the kernel name may itself hold ')' or blanks.
    const char* open = std::strchr(buf, '(');
    const char* close = std::strrchr(buf, ')');
    if (open == nullptr || close == nullptr || close < open) return false;
    CopyBounded(comm, commSize, open + 1, static_cast<std::size_t>(close - open - 1));
    // Fields from the state on: state(3) ... utime(14) stime(15).
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    if (std::sscanf(close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2) {
        utime = stime = 0;
    }
    times->user100ns = TicksTo100ns(utime);
    times->system100ns = TicksTo100ns(stime);
    return true;
}

bool ReadImageName(int procFd, pid_t pid, char* name, std::size_t size) {
    char path[kPidPathSize];
    PidPath(path, pid, "exe");
    char target[4096];
    const ssize_t len = readlinkat(procFd, path, target, sizeof target - 1);
    if (len > 0) {
        auto n = static_cast<std::size_t>(len);
        const std::size_t mark = sizeof kDeletedMark - 1;
        if (n > mark && std::memcmp(target + n - mark, kDeletedMark, mark) == 0) n -= mark;
        if (NameFromPath(target, n, name, size)) return true;
    } else if (errno == ENOENT) {
        // No executable at all: a kernel thread, a zombie or a process that
        // has just ended. None of them has a command line either.
        return false;
    }
    char cmd[4096];
    const ssize_t cmdLen = ReadSmallFile(procFd, pid, "cmdline", cmd, sizeof cmd);
    if (cmdLen <= 0) return false;
    std::size_t word = 0;
    while (word < static_cast<std::size_t>(cmdLen) && cmd[word] != '\0' && cmd[word] != ' ') {
        ++word;
    }
    return NameFromPath(cmd, word, name, size);
}

bool ReadProcessName(int procFd, pid_t pid, char* name, std::size_t size) {
    if (ReadImageName(procFd, pid, name, size)) return true;
    char comm[64];
    const ssize_t len = ReadSmallFile(procFd, pid, "comm", comm, sizeof comm);
    if (len <= 0) return false;
    auto n = static_cast<std::size_t>(len);
    if (comm[n - 1] == '\n') --n;
    CopyBounded(name, size, comm, n);
    return true;
}

ProcessMemory ReadProcessMemory(int procFd, pid_t pid) {
    ProcessMemory mem;
    char buf[256];
    if (ReadSmallFile(procFd, pid, "statm", buf, sizeof buf) <= 0) return mem;
    unsigned long long size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    if (std::sscanf(buf, "%llu %llu %llu %llu %llu %llu", &size, &resident, &shared, &text, &lib,
                    &data) != 6) {
        return mem;
    }
    static const auto page = static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
    mem.residentBytes = resident * page;
    mem.privateBytes = data * page;
    return mem;
}

std::uint32_t CountOpenDescriptors(int procFd, pid_t pid) {
    char path[kPidPathSize];
    PidPath(path, pid, "fd");
    // Recent kernels give the count as the directory's size.
    struct stat st {};
    if (fstatat(procFd, path, &st, 0) == 0 && st.st_size > 0) {
        return st.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<std::uint32_t>(st.st_size);
    }
    const int fd = openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* d = fdopendir(fd);
    if (d == nullptr) {
        close(fd);
        return 0;
    }
    std::uint32_t count = 0;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.' && count < 0xFFFFFFFFu) ++count;
    }
    closedir(d);
    return count;
}

bool SameProcessName(const char* listed, const char* wanted) {
    return strcasecmp(listed, wanted) == 0;
}

}  // namespace qg_probes

// GetCounterValue: a fixed table of system-wide figures, looked up by their
// English object and counter names and read from /proc.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ProcScan.h"
#include "quillongen/probes.h"

using namespace qg_probes;

namespace {

using Reader = std::int64_t (*)();

// Reads a whole small /proc file; false when it cannot be read.
bool ReadProcFile(const char* path, char* buf, std::size_t size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t total = 0;
    while (total + 1 < size) {
        const ssize_t got = read(fd, buf + total, size - 1 - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return false;
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    close(fd);
    buf[total] = '\0';
    return total > 0;
}

// The value of "key:" in /proc/meminfo, in bytes.
std::int64_t MemInfoBytes(const char* key) {
    char buf[8192];
    if (!ReadProcFile("/proc/meminfo", buf, sizeof buf)) return 0;
    const std::size_t keyLen = std::strlen(key);
    for (const char* line = buf; *line != '\0';) {
        if (std::strncmp(line, key, keyLen) == 0 && line[keyLen] == ':') {
            unsigned long long kib = 0;
            if (std::sscanf(line + keyLen + 1, "%llu", &kib) != 1) return 0;
            if (kib > static_cast<unsigned long long>(INT64_MAX) / 1024) return INT64_MAX;
            return static_cast<std::int64_t>(kib * 1024);
        }
        const char* next = std::strchr(line, '\n');
        if (next == nullptr) break;
        line = next + 1;
    }
    return 0;
}

std::int64_t AvailableBytes() {
    return MemInfoBytes("MemAvailable");
}
std::int64_t AvailableKBytes() {
    return AvailableBytes() / 1024;
}
std::int64_t AvailableMBytes() {
    return AvailableBytes() / (1024 * 1024);
}
std::int64_t CommittedBytes() {
    return MemInfoBytes("Committed_AS");
}
std::int64_t CommitLimit() {
    return MemInfoBytes("CommitLimit");
}
std::int64_t CacheBytes() {
    return MemInfoBytes("Cached");
}

std::int64_t Processes() {
    ProcessWalker walker;
    if (!walker.ok()) return 0;
    std::int64_t n = 0;
    pid_t pid = 0;
    while (walker.Next(&pid)) ++n;
    return n;
}

std::int64_t Threads() {
    char buf[256];
    if (!ReadProcFile("/proc/loadavg", buf, sizeof buf)) return 0;
    long long running = 0;
    long long total = 0;
    if (std::sscanf(buf, "%*s %*s %*s %lld/%lld", &running, &total) != 2) return 0;
    return total;
}

std::int64_t UpTimeSeconds() {
    char buf[128];
    if (!ReadProcFile("/proc/uptime", buf, sizeof buf)) return 0;
    long long seconds = 0;
    if (std::sscanf(buf, "%lld", &seconds) != 1) return 0;
    return seconds;
}

std::int64_t ContextSwitches() {
    // /proc/stat grows with processors and interrupts, so read it by lines.
    std::FILE* f = std::fopen("/proc/stat", "re");
    if (f == nullptr) return 0;
    char chunk[256];
    bool lineStart = true;
    long long n = 0;
    bool found = false;
    while (!found && std::fgets(chunk, sizeof chunk, f) != nullptr) {
        if (lineStart && std::strncmp(chunk, "ctxt ", 5) == 0) {
            found = std::sscanf(chunk + 5, "%lld", &n) == 1;
        }
        lineStart = std::strchr(chunk, '\n') != nullptr;
    }
    std::fclose(f);
    return found ? n : 0;
}

struct Counter {
    const char* object;
    const char* counter;
    Reader read;
};

constexpr Counter kCounters[] = {
    {"Memory", "Available Bytes", AvailableBytes},
    {"Memory", "Available KBytes", AvailableKBytes},
    {"Memory", "Available MBytes", AvailableMBytes},
    {"Memory", "Committed Bytes", CommittedBytes},
    {"Memory", "Commit Limit", CommitLimit},
    {"Memory", "Cache Bytes", CacheBytes},
    {"System", "Processes", Processes},
    {"System", "Threads", Threads},
    {"System", "System Up Time", UpTimeSeconds},
    {"System", "Context Switches/sec", ContextSwitches},
};

}  // namespace

int64_t GetCounterValue(const char* objectName, const char* counterName) {
    if (objectName == nullptr || counterName == nullptr) return 0;
    for (const Counter& c : kCounters) {
        if (strcasecmp(c.object, objectName) == 0 && strcasecmp(c.counter, counterName) == 0) {
            return c.read();
        }
    }
    return 0;
}

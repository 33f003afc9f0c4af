// QuillonGen lock files. The holder keeps a shared flock on its lock file for
// as long as it holds the lock; a checker that can take the exclusive flock
// without waiting has found a file whose owner has ended, and deletes it.
// flock belongs to the open file description, so two opens in one process
// conflict as well: a process's own locks count like anyone else's.
#include "quillongen/lck.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "quillongen/mem.h"
#include "quillongen/pgm.h"
#include "quillongen/str.h"
#include "time_text.h"

namespace {

CQuillonLck library;

constexpr size_t kContentRead = 4096;  // read of a lock file; `content` keeps its start
constexpr int kHoldAttempts = 100;
constexpr long kHoldRetryNanos = 10 * 1000 * 1000;

bool copyFits(char* dest, size_t size, const std::string& text) {
    if (text.size() >= size) return false;
    std::memcpy(dest, text.c_str(), text.size() + 1);
    return true;
}

bool sameFile(int fd, const char* path) {
    struct stat byFd;
    struct stat byName;
    return fstat(fd, &byFd) == 0 && stat(path, &byName) == 0 && byFd.st_dev == byName.st_dev &&
           byFd.st_ino == byName.st_ino;
}

// Opens (creating it) the lock file at path with the holder's shared flock.
// A checker may delete the file between our open and our flock; then the
// flock guards a file no longer reachable by name, so we open it again.
FILE* openHeld(const char* path) {
    for (int attempt = 0; attempt < kHoldAttempts; ++attempt) {
        const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        if (flock(fd, LOCK_SH | LOCK_NB) == 0 && sameFile(fd, path)) {
            FILE* stream = fdopen(fd, "r+");
            if (stream == nullptr) close(fd);
            return stream;
        }
        close(fd);
        timespec pause{0, kHoldRetryNanos};
        nanosleep(&pause, nullptr);
    }
    return nullptr;
}

const char* modeWord(short mode) {
    switch (mode) {
        case LCK_MODE_READONLY:
            return "READONLY";
        case LCK_MODE_READWRITE:
            return "READWRITE";
        case LCK_MODE_WRITE:
            return "WRITE";
        default:
            return "UNDEFINDED";
    }
}

// Rank of the mode a lock file names: 1 read-only, 2 read-write (or not
// given), 3 write, 0 unknown. The mode is taken from the "Lock mode" line, so
// a directory name that happens to hold the word "mode" cannot mislead it.
int modeRank(const std::string& text) {
    size_t at = text.rfind("Lock mode");
    at = at != std::string::npos ? at + 9 : text.find("mode");
    if (at == std::string::npos) return 0;
    if (text.compare(at, 4, "mode") == 0) at += 4;
    while (at < text.size() && (text[at] == ' ' || text[at] == ':')) ++at;
    const size_t end = text.find_first_of(" \t\r\n", at);
    const std::string word = text.substr(at, end == std::string::npos ? end : end - at);
    auto begins = [&word](const char* prefix) {
        return strncasecmp(word.c_str(), prefix, std::strlen(prefix)) == 0;
    };
    if (begins("READO") || begins("RO")) return 1;
    if (begins("READW") || begins("RW") || begins("U")) return 2;
    if (begins("W")) return 3;
    return 0;
}

std::string envOrNotSet(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "*** NOT SET ***" : value;
}

}  // namespace

CQuillonLck::CQuillonLck()
    : dir(),
      savedCwd(),
      lastLock(-1),
      lockStreams(),
      workStream(nullptr),
      lockNames(),
      modeText(),
      ext(),
      pidText(),
      envValue(),
      baseName(),
      pattern(),
      fileName(),
      lockName(),
      content(),
      lockTime(0) {}

CQuillonLck::CQuillonLck(const CQuillonLck& other) : CQuillonLck() {
    copyFrom(other);
}

CQuillonLck& CQuillonLck::operator=(CQuillonLck& other) {
    if (this != &other) {
        closeAll();
        copyFrom(other);
    }
    return *this;
}

CQuillonLck::~CQuillonLck() {
    closeAll();
}

// The copy's streams are duplicates of the other's descriptors: they share
// the open file descriptions, and with them the flocks.
void CQuillonLck::copyFrom(const CQuillonLck& other) {
    std::memcpy(dir, other.dir, sizeof dir);
    std::memcpy(savedCwd, other.savedCwd, sizeof savedCwd);
    std::memcpy(modeText, other.modeText, sizeof modeText);
    std::memcpy(ext, other.ext, sizeof ext);
    std::memcpy(pidText, other.pidText, sizeof pidText);
    std::memcpy(envValue, other.envValue, sizeof envValue);
    std::memcpy(baseName, other.baseName, sizeof baseName);
    std::memcpy(pattern, other.pattern, sizeof pattern);
    std::memcpy(fileName, other.fileName, sizeof fileName);
    std::memcpy(lockName, other.lockName, sizeof lockName);
    std::memcpy(content, other.content, sizeof content);
    lockTime = other.lockTime;
    workStream = nullptr;
    lastLock = -1;
    for (short i = 0; i <= other.lastLock; ++i) {
        const int fd = other.lockStreams[i] != nullptr ? dup(fileno(other.lockStreams[i])) : -1;
        FILE* stream = fd >= 0 ? fdopen(fd, "r+") : nullptr;
        if (stream == nullptr) {
            if (fd >= 0) close(fd);
            continue;
        }
        const size_t size = std::strlen(other.lockNames[i]) + 1;
        ++lastLock;
        lockNames[lastLock] = nullptr;
        mem_reallocate(reinterpret_cast<void**>(&lockNames[lastLock]),
                       static_cast<unsigned int>(size));
        std::memcpy(lockNames[lastLock], other.lockNames[i], size);
        lockStreams[lastLock] = stream;
    }
}

void CQuillonLck::closeAll() {
    for (short i = 0; i <= lastLock; ++i) {
        if (lockStreams[i] != nullptr) std::fclose(lockStreams[i]);
        lockStreams[i] = nullptr;
        mem_deallocate(reinterpret_cast<void**>(&lockNames[i]));
    }
    lastLock = -1;
}

short CQuillonLck::lck_setLockFileName(const char* path) {
    if (lastLock >= LCK_MAX_LOCKS) return lastLock;
    if (path == nullptr || path[0] == '\0') return LCK_NAME_REFUSED;
    const size_t length = std::strlen(path);
    std::string part(length + 1, '\0');

    str_getPrefix(part.data(), path);
    std::string directory = part.c_str();
    if (directory.empty()) {
        char cwd[256];
        if (getcwd(cwd, sizeof cwd) == nullptr) return LCK_NAME_REFUSED;
        directory = cwd;
    }
    if (directory.back() != '/' && directory.back() != '\\') directory += '/';

    str_rmPrefix(part.data(), path);
    const std::string file = part.c_str();
    str_rmSuffix(part.data(), file.c_str());
    const std::string base = part.c_str();
    str_getSuffix(part.data(), file.c_str());
    const std::string extension = std::string(part.c_str()).substr(0, sizeof ext - 1);

    const std::string prefix = directory + base + "_" + extension + "_";
    char pid[16];
    std::snprintf(pid, sizeof pid, "%d", std::abs(static_cast<int>(getpid())));
    if (!copyFits(dir, sizeof dir, directory) || !copyFits(fileName, sizeof fileName, file) ||
        !copyFits(baseName, sizeof baseName, base) || !copyFits(ext, sizeof ext, extension) ||
        !copyFits(pattern, sizeof pattern, prefix + "*.lck") ||
        !copyFits(pidText, sizeof pidText, pid) ||
        !copyFits(lockName, sizeof lockName, prefix + prg_name + "_" + pidText + ".lck"))
        return LCK_NAME_REFUSED;
    return 0;
}

short CQuillonLck::lck_openLockFile() {
    if (lastLock >= LCK_MAX_LOCKS - 1) return 0;
    const short slot = static_cast<short>(lastLock + 1);
    lockNames[slot] = nullptr;
    mem_reallocate(reinterpret_cast<void**>(&lockNames[slot]),
                   static_cast<unsigned int>(std::strlen(lockName) + 1));
    std::memcpy(lockNames[slot], lockName, std::strlen(lockName) + 1);
    lockStreams[slot] = openHeld(lockName);
    if (lockStreams[slot] == nullptr) {
        mem_deallocate(reinterpret_cast<void**>(&lockNames[slot]));
        return 0;
    }
    lastLock = slot;
    return 1;
}

void CQuillonLck::lck_setLockFileContent(short mode) {
    if (lastLock < 0) return;
    FILE* stream = lockStreams[lastLock];
    lockTime = std::time(nullptr);
    std::snprintf(modeText, sizeof modeText, "%s", modeWord(mode));
    // A lock file left by an ended process of the same id may be longer.
    if (ftruncate(fileno(stream), 0) != 0) return;
    std::rewind(stream);
    std::fprintf(stream, "Date             :%s", quillongen::standardTime(lockTime).c_str());
    std::snprintf(envValue, sizeof envValue, "%s", envOrNotSet("USERDOMAIN").c_str());
    std::fprintf(stream, "Computer         :%s\n", envValue);
    std::snprintf(envValue, sizeof envValue, "%s", envOrNotSet("USERNAME").c_str());
    std::fprintf(stream, "Username         :%s\n", envValue);
    std::fprintf(stream, "Process name     :%s\n", prg_name);
    std::fprintf(stream, "Process id       :%s\n", pidText);
    std::fprintf(stream, "Working directory:%s\n", dir);
    std::fprintf(stream, "File name        :%s\n", fileName);
    std::fprintf(stream, "Lock mode        :%s", modeText);
    std::fflush(stream);
}

short CQuillonLck::lck_fileLocked(char* out, short mode) {
    DIR* search = opendir(dir);
    if (search == nullptr) return 0;
    const std::string prefix = std::string(pattern, std::strlen(pattern) - 5)  // without "*.lck"
                                   .substr(std::strlen(dir));
    short result = 0;
    int highest = 0;
    while (const dirent* entry = readdir(search)) {
        const std::string name = entry->d_name;
        if (name.size() < prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".lck") != 0)
            continue;
        const std::string full = dir + name;
        const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == ENOENT) continue;  // released while we looked
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (sameFile(fd, full.c_str())) unlink(full.c_str());
            close(fd);
            continue;
        }
        result = 1;
        std::string text;
        if (fd >= 0) {
            workStream = fdopen(fd, "r");
            if (workStream == nullptr) {
                close(fd);
            } else {
                int c;
                while (text.size() < kContentRead && (c = std::getc(workStream)) != EOF)
                    text += static_cast<char>(c);
                std::fclose(workStream);
                workStream = nullptr;
            }
        }
        std::snprintf(content, sizeof content, "%s", text.c_str());
        if (mode > LCK_MODE_READONLY) {
            if (out != nullptr) std::memcpy(out, content, std::strlen(content) + 1);
            break;
        }
        const int rank = modeRank(text);
        if (rank > highest) {
            highest = rank;
            if (out != nullptr) std::memcpy(out, content, std::strlen(content) + 1);
        }
    }
    closedir(search);
    if (highest == 1 && mode == LCK_MODE_READONLY) result = 0;
    return result;
}

void CQuillonLck::lck_unlockFile(const char* path) {
    if (lck_setLockFileName(path) != 0) return;
    short found = -1;
    for (short i = 0; i <= lastLock && found < 0; ++i)
        if (std::strcmp(lockNames[i], lockName) == 0) found = i;
    if (found < 0) return;
    std::fclose(lockStreams[found]);
    bool sharedName = false;
    for (short i = 0; i <= lastLock; ++i)
        if (i != found && std::strcmp(lockNames[i], lockName) == 0) sharedName = true;
    if (!sharedName) unlink(lockName);
    mem_deallocate(reinterpret_cast<void**>(&lockNames[found]));
    // The later locks move down with their streams still open, so their
    // flocks are never let go and no checker can take them for stale.
    for (short i = found; i < lastLock; ++i) {
        lockNames[i] = lockNames[i + 1];
        lockStreams[i] = lockStreams[i + 1];
    }
    lockNames[lastLock] = nullptr;
    lockStreams[lastLock] = nullptr;
    --lastLock;
}

void CQuillonLck::lck_unlockFile() {
    for (short i = lastLock; i >= 0; --i) {
        std::fclose(lockStreams[i]);
        lockStreams[i] = nullptr;
        unlink(lockNames[i]);
        mem_deallocate(reinterpret_cast<void**>(&lockNames[i]));
    }
    lastLock = -1;
}

short lck_lockFile(const char* path, short mode) {
    if (library.lck_setLockFileName(path) != 0) return LCK_NAME_REFUSED;
    if (library.lck_openLockFile() == 0) return LCK_NOT_TAKEN;
    library.lck_setLockFileContent(mode);
    return 0;
}

short lck_isFileLocked(const char* path, char* out, short mode) {
    if (library.lck_setLockFileName(path) != 0) return 0;
    return library.lck_fileLocked(out, mode);
}

short lck_unlockFile(const char* path) {
    if (library.lck_setLockFileName(path) != 0) return 0;
    library.lck_unlockFile(path);
    return 1;
}

short lck_unlockAllFiles(void) {
    library.lck_unlockFile();
    return 1;
}

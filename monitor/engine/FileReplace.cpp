// Files replaced whole through a temporary file beside them.
#include "engine/FileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool LinkIsSafe(const std::string& link) {
    struct stat st {};
    if (lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (st.st_uid == geteuid()) return true;
    struct stat dir {};
    if (stat(DirectoryOf(link).c_str(), &dir) != 0) return false;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !shared || dir.st_uid == st.st_uid;
}

std::string UnsafeLinkReason(const std::string& link) {
    return FormatText(LoadString(IDS_UNSAFE_LINK), {link});
}

// Where `path` leads when it is a symbolic link, or a chain of them: a save
// goes through the link to the file it names, so the link stays a link. A
// path that is no link is its own target.
Follow FollowLinks(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return Follow::kDone;
        }
        if (!LinkIsSafe(current)) {
            target = current;
            return Follow::kUnsafeLink;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) {
            if (n >= 0) errno = ENAMETOOLONG;
            return Follow::kFailed;
        }
        const std::string next(link, static_cast<std::size_t>(n));
        const std::size_t slash = current.find_last_of('/');
        current = next[0] == '/' || slash == std::string::npos
                      ? next
                      : current.substr(0, slash + 1) + next;
    }
    errno = ELOOP;
    return Follow::kFailed;
}

// True unless `path` names something other than a regular file (a directory,
// a FIFO, a device): such a thing is never written over.
bool RegularOrAbsent(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

namespace {

// `fill` as a result: making the content may run out of memory or threads
// part-way, and that is a failure like any other, never a way past the
// clean-up.
bool FillSafely(const FillFile& fill, int fd) {
    try {
        return fill(fd);
    } catch (const std::system_error& e) {
        const std::error_category& c = e.code().category();
        const bool isErrno = c == std::generic_category() || c == std::system_category();
        errno = isErrno && e.code().value() != 0 ? e.code().value() : EIO;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    } catch (...) {
        errno = EIO;
    }
    return false;
}

// True when the new temporary file `fd` is ours to fill: locked, and not
// removed by a start's clean-up that locked it first (between mkostemp and
// the lock). A file system without flock leaves the file unlocked.
bool ClaimNewTempFile(int fd) {
    int r;
    while ((r = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) return errno != EWOULDBLOCK;
    struct stat st {};
    return fstat(fd, &st) == 0 && st.st_nlink > 0;
}

}  // namespace

// A new file made from `tmpl` (a path ending in XXXXXX, which the name
// replaces) and filled by `fill`; its name is in `tmpl`. -1 on failure
// (errno set, nothing left behind).
int FilledTempFile(std::vector<char>& tmpl, bool durable, const FillFile& fill) {
    const std::vector<char> pattern = tmpl;
    int fd = -1;
    for (int tries = 0; fd < 0; ++tries) {
        tmpl = pattern;
        fd = mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        if (ClaimNewTempFile(fd)) break;
        // The clean-up that holds it removes it.
        close(fd);
        fd = -1;
        if (tries == 3) {
            errno = EAGAIN;
            return -1;
        }
    }
    bool ok = FillSafely(fill, fd) && (!durable || fsync(fd) == 0);
    if (!ok) {
        const int saved = errno;
        close(fd);
        unlink(tmpl.data());
        errno = saved;
        return -1;
    }
    return fd;
}

bool PlaceTempFile(int fd, const char* name, const std::function<bool(const char*)>& place) {
    // Some file systems report a failed write only when the file is closed:
    // that must be known before the file takes its place. The second
    // descriptor keeps the file, and its lock, for the mode afterwards.
    const int kept = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    bool ok = kept >= 0;
    ok = close(fd) == 0 && ok;
    ok = ok && place(name);
    if (!ok) {
        const int saved = errno;
        if (kept >= 0) close(kept);
        unlink(name);
        errno = saved;
        return false;
    }
    // Readable by others (a metrics collector) only once it has its name: a
    // file still at 0600 under a temporary name is a leftover.
    fchmod(kept, 0644);
    close(kept);
    return true;
}

std::vector<char> TempTemplate(const std::string& beside) {
    const std::string tmpl = beside + kTempSuffix;
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    return name;
}

namespace {

bool Fail(std::string* reason, const std::string& why) {
    if (reason) *reason = why;
    return false;
}

}  // namespace

// Writes `target` through a temporary file beside it: `fill` writes the
// content, and the temporary file replaces the target by a rename only once
// it is complete, so a reader never sees a half-written file. A symbolic link
// is written through, to the file it names. With `durable` the data and the
// rename are synced to disk first.
bool ReplaceFile(const std::string& target, bool durable, const FillFile& fill,
                 std::string* reason) {
    std::string resolved;
    switch (FollowLinks(target, resolved)) {
        case Follow::kDone:
            break;
        case Follow::kUnsafeLink:
            errno = EPERM;
            return Fail(reason, UnsafeLinkReason(resolved));
        case Follow::kFailed:
            return Fail(reason, std::strerror(errno));
    }
    if (!RegularOrAbsent(resolved)) {
        errno = EINVAL;
        return Fail(reason, LoadString(IDS_NOT_REGULAR_FILE));
    }
    std::vector<char> name = TempTemplate(resolved);
    const int fd = FilledTempFile(name, durable, fill);
    if (fd < 0 || !PlaceTempFile(fd, name.data(), [&](const char* from) {
            return rename(from, resolved.c_str()) == 0;
        })) {
        return Fail(reason, std::strerror(errno));
    }
    if (durable) SyncDirectory(DirectoryOf(resolved));
    return true;
}

bool ReplaceFile(const std::string& target, bool durable, std::string_view content,
                 std::string* reason) {
    return ReplaceFile(
        target, durable, [content](int fd) { return WriteAll(fd, content.data(), content.size()); },
        reason);
}

namespace {

bool IsTempNameOf(const char* name, const std::string& stem) {
    const std::size_t random = sizeof kTempSuffix - 1 - 1;  // the X's after the dot
    const std::size_t length = std::strlen(name);
    if (length != stem.size() + 1 + random ||
        stem.compare(0, stem.size(), name, stem.size()) != 0 || name[stem.size()] != '.') {
        return false;
    }
    return std::all_of(name + stem.size() + 1, name + length, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// Removes the leftover temporary files of the file named `stem` in
// `directory`.
int RemoveTempFilesIn(const std::string& directory, const std::string& stem) {
    DIR* dir = opendir(directory.c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!IsTempNameOf(entry->d_name, stem)) continue;
        const int fd = openat(dirfd(dir), entry->d_name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        // Only what a write of ours leaves: our own regular file, still at
        // the mode it was made with (a copy the user made has the mode the
        // copy gave it), that no running write holds.
        struct stat st {
        }, now{};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            (st.st_mode & 07777) == 0600 && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(dirfd(dir), entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_ino == st.st_ino && now.st_dev == st.st_dev &&
            unlinkat(dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        }
        close(fd);
    }
    closedir(dir);
    return removed;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RemoveLeftoverTempFilesOf(const std::string& file) {
    if (file.empty()) return 0;
    int removed = RemoveTempFilesIn(DirectoryOf(file), FileNameOf(file));
    std::string resolved;
    if (FollowLinks(file, resolved) == Follow::kDone && resolved != file) {
        removed += RemoveTempFilesIn(DirectoryOf(resolved), FileNameOf(resolved));
    }
    return removed;
}

}  // namespace tarnwatch

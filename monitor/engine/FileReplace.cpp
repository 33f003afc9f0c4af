// Files replaced whole through a temporary file beside them.
#include "engine/FileReplace.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

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

// Where `path` leads when it is a symbolic link, or a chain of them: a save
// goes through the link to the file it names, so the link stays a link. A
// path that is no link is its own target. False (errno set) for a loop or an
// unreadable link.
bool FollowLinks(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) {
            if (n >= 0) errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(link, static_cast<std::size_t>(n));
        const std::size_t slash = current.find_last_of('/');
        current = next[0] == '/' || slash == std::string::npos
                      ? next
                      : current.substr(0, slash + 1) + next;
    }
    errno = ELOOP;
    return false;
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

}  // namespace

// A new file made from `tmpl` (a path ending in XXXXXX, which the name
// replaces), filled by `fill` and left with the list file's permissions; its
// name is in `tmpl`. -1 on failure (errno set, nothing left behind).
int FilledTempFile(std::vector<char>& tmpl, bool durable, const FillFile& fill) {
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    // The permissions change last: a file still at mkostemp's 0600 is one an
    // interrupted save left, which the next start may remove.
    bool ok = FillSafely(fill, fd) && (!durable || fsync(fd) == 0) && fchmod(fd, 0644) == 0;
    if (!ok) {
        const int saved = errno;
        close(fd);
        unlink(tmpl.data());
        errno = saved;
        return -1;
    }
    return fd;
}

std::vector<char> TempTemplate(const std::string& beside) {
    const std::string tmpl = beside + kTempSuffix;
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    return name;
}

// Writes `target` through a temporary file beside it: `fill` writes the
// content, and the temporary file replaces the target by a rename only once
// it is complete, so a reader never sees a half-written file. A symbolic link
// is written through, to the file it names. With `durable` the data and the
// rename are synced to disk first.
bool WriteThroughTempFile(const std::string& target, bool durable, const FillFile& fill) {
    std::string resolved;
    if (!FollowLinks(target, resolved)) return false;
    if (!RegularOrAbsent(resolved)) {
        errno = EINVAL;
        return false;
    }
    std::vector<char> name = TempTemplate(resolved);
    const int fd = FilledTempFile(name, durable, fill);
    if (fd < 0) return false;
    bool ok = close(fd) == 0;
    if (ok && rename(name.data(), resolved.c_str()) != 0) ok = false;
    if (!ok) {
        const int saved = errno;  // the reason the caller reports
        unlink(name.data());
        errno = saved;
        return false;
    }
    if (durable) SyncDirectory(DirectoryOf(resolved));
    return true;
}

}  // namespace tarnwatch

// Files replaced whole: written to a temporary file beside them, which is
// renamed over them only once complete, so a reader sees the old content or
// the new, never a mix. Every file the program writes whole goes through
// ReplaceFile: the list file, its backup, the metrics file and the autostart
// entry.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwatch {

// What mkostemp makes of the temporary files' names.
inline constexpr char kTempSuffix[] = ".XXXXXX";

// Writes all of `size` bytes; false with errno set on a failure.
bool WriteAll(int fd, const void* data, std::size_t size);
void SyncDirectory(const std::string& dir);

// Whether the symbolic link `link` may be followed: it is the running
// user's, or the directory holding it is not shared (sticky and writable by
// others), or the link's owner owns that directory. Another user's link in a
// shared directory could send our writes to any file we may write.
bool LinkIsSafe(const std::string& link);
// Why such a link is not followed, naming it.
std::string UnsafeLinkReason(const std::string& link);

enum class Follow {
    kDone,        // `target` is where the path leads
    kUnsafeLink,  // `target` is a link on the way that is not LinkIsSafe
    kFailed,      // a loop or an unreadable link (errno set)
};
// Where `path` leads through symbolic links.
Follow FollowLinks(const std::string& path, std::string& target);
// True unless `path` names something other than a regular file.
bool RegularOrAbsent(const std::string& path);
// The directory part of `path`, with its slash; "." for a bare name.
std::string DirectoryOf(const std::string& path);
// The part of `path` after its last slash.
std::string FileNameOf(const std::string& path);

// Writes the content of an open file; false with errno set on a failure. An
// exception it lets out (out of memory) counts as a failure with errno set.
using FillFile = std::function<bool(int fd)>;

// `beside` with kTempSuffix, as the template FilledTempFile takes.
std::vector<char> TempTemplate(const std::string& beside);
// A new temporary file from `tmpl`, filled by `fill` and synced with
// `durable`; its name is left in `tmpl`. It stays at mode 0600 and locked
// (flock) while open, which is how a start tells a leftover from a file being
// written. -1 on failure (errno set, nothing left behind).
int FilledTempFile(std::vector<char>& tmpl, bool durable, const FillFile& fill);
// Gives the temporary file `fd` named `name` its place with `place` (true
// when the name was moved), then mode 0644 and closes it. On failure (errno
// set) the temporary file is removed.
bool PlaceTempFile(int fd, const char* name, const std::function<bool(const char*)>& place);
// Replaces `target` (through its symbolic links) with what `fill` writes;
// something other than a regular file in its place is never written over
// (EINVAL), nor is a link followed that is not LinkIsSafe (EPERM). With
// `durable`, the data and the rename are synced first. False with errno set
// and `reason` saying why on a failure; the target is then untouched and no
// temporary file stays.
bool ReplaceFile(const std::string& target, bool durable, const FillFile& fill,
                 std::string* reason = nullptr);
// The same with `content` as the whole new file.
bool ReplaceFile(const std::string& target, bool durable, std::string_view content,
                 std::string* reason = nullptr);

// Removes the temporary files that writes of `file` left when they were
// ended before their rename: files named like `file` plus a dot and six
// letters or digits, beside it and beside the file its link leads to, that
// are our own regular files still at mode 0600 and that no running write
// holds. Returns how many.
int RemoveLeftoverTempFilesOf(const std::string& file);

}  // namespace tarnwatch

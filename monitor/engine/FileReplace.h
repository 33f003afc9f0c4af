// Files replaced whole: written to a temporary file beside them, which is
// renamed over them only once complete, so a reader sees the old content or
// the new, never a mix. The list file, its backup and the metrics file are
// written this way.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tarnwatch {

// What mkostemp makes of the temporary files' names.
inline constexpr char kTempSuffix[] = ".XXXXXX";

// Writes all of `size` bytes; false with errno set on a failure.
bool WriteAll(int fd, const void* data, std::size_t size);
void SyncDirectory(const std::string& dir);
// Where `path` leads through symbolic links; false (errno set) for a loop or
// an unreadable link.
bool FollowLinks(const std::string& path, std::string& target);
// True unless `path` names something other than a regular file.
bool RegularOrAbsent(const std::string& path);
// The directory part of `path`, with its slash; "." for a bare name.
std::string DirectoryOf(const std::string& path);

// Writes the content of an open file; false with errno set on a failure. An
// exception it lets out (out of memory) counts as a failure with errno set.
using FillFile = std::function<bool(int fd)>;

// `beside` with kTempSuffix, as the template FilledTempFile takes.
std::vector<char> TempTemplate(const std::string& beside);
// A new temporary file from `tmpl`, filled by `fill`, synced with `durable`
// and given mode 0644; its name is left in `tmpl`. -1 on failure (errno set,
// nothing left behind).
int FilledTempFile(std::vector<char>& tmpl, bool durable, const FillFile& fill);
// Replaces `target` (through its symbolic links) with what `fill` writes;
// something other than a regular file in its place is never written over
// (EINVAL). With `durable`, the data and the rename are synced first. False
// with errno set on a failure; the target is then untouched and no
// temporary file stays.
bool WriteThroughTempFile(const std::string& target, bool durable, const FillFile& fill);

}  // namespace tarnwatch

// Export and import of the list's text form as file operations.
#include "engine/ListTextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/FileReplace.h"
#include "engine/ListText.h"
#include "engine/SingleInstance.h"

namespace tarnwatch {
namespace {

TextListOutcome Failed(std::string message) {
    return {kTextListFailed, std::move(message)};
}

std::string Entries(int count) {
    return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

std::string ShownName(const std::string& file) {
    return file == "-" ? std::string("standard input") : file;
}

// Reads all of `fd` into `text`, refusing more than kMaxTextFileBytes.
bool ReadAllLimited(int fd, std::string& text, std::string& why) {
    text.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        if (static_cast<long long>(text.size()) + n > kMaxTextFileBytes) {
            why = "it is larger than " + std::to_string(kMaxTextFileBytes >> 20) +
                  " MiB, the most a list's text may have";
            return false;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
}

// Whether `bytes` are a list file of the binary format: a header and a count
// that promise exactly this size.
bool IsBinaryList(const std::string& bytes) {
    if (bytes.size() < 12) return false;
    float header;
    std::int32_t count;
    std::memcpy(&header, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 4, 4);
    return count >= 0 && 8 + static_cast<long long>(count) * RecordSizeForHeader(header) + 4 ==
                             static_cast<long long>(bytes.size());
}

// Whether `a` and `b` name one file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

TextListOutcome ExportListText(const ListFilePaths& paths, const std::string& target) {
    if (target.empty()) return Failed("--export needs a file name, or - for standard output");
    EntryCollection entries;
    const LoadReport load = ReadListFile(entries, paths);
    const auto unreadable = [&](const std::string& why) {
        return Failed("the list file " + paths.listFile + " cannot be read: " + why);
    };
    if (!load.unsafeLink.empty()) return unreadable(UnsafeLinkReason(load.unsafeLink));
    if (load.notRegularFile) return unreadable("it is not a regular file");
    if (load.outOfMemory) return unreadable("there is not enough memory to load it");
    if (!load.opened) {
        // No list file yet is an empty list; one that exists was not read.
        struct stat st {};
        if (stat(paths.listFile.c_str(), &st) != 0) {
            if (errno != ENOENT) return unreadable(std::strerror(errno));
        } else if (load.readError) {
            return unreadable("it is cut short");
        } else if (access(paths.listFile.c_str(), R_OK) != 0) {
            return unreadable(std::strerror(errno));
        }
    }

    TextListOutcome outcome = WriteListText(entries, paths, target);
    if (outcome.code == kTextListDone && load.damaged) {
        outcome.code = kTextListPartial;
        outcome.message = "the list file " + paths.listFile + " is damaged: only its " +
                          Entries(entries.rowCount) + " read whole were written";
    }
    return outcome;
}

TextListOutcome WriteListText(const EntryCollection& entries, const ListFilePaths& paths,
                              const std::string& target) {
    if (target != "-" && (SameFile(target, paths.listFile) || SameFile(target, paths.backupFile))) {
        return Failed(target + " is the list file or its backup; export to another file");
    }
    const std::string text = ListToText(entries);
    TextListOutcome outcome;
    if (target == "-") {
        if (!WriteAll(STDOUT_FILENO, text.data(), text.size())) {
            return Failed(std::string("standard output cannot be written: ") +
                          std::strerror(errno));
        }
    } else {
        std::string reason;
        if (!ReplaceFile(
                target, true, [&](int fd) { return WriteAll(fd, text.data(), text.size()); },
                &reason)) {
            return Failed(target + " cannot be written: " + reason);
        }
        outcome.message = Entries(entries.rowCount) + " written to " + target;
    }
    return outcome;
}

bool ReadListText(const std::string& source, EntryCollection& entries, std::string& error) {
    entries.Clear();
    const std::string name = ShownName(source);
    int fd = STDIN_FILENO;
    if (source != "-") {
        // Never wait in open: a FIFO in the file's place would wait for a
        // writer.
        fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            error = name + ": " + std::strerror(errno);
            return false;
        }
        struct stat st {};
        const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (!regular || st.st_size > kMaxTextFileBytes) {
            close(fd);
            error = name + ": " +
                    (S_ISDIR(st.st_mode) ? std::string("is a directory")
                     : !regular          ? std::string("is not a regular file")
                                         : "is " + std::to_string(st.st_size) +
                                      " bytes; a list's text may have at most " +
                                      std::to_string(kMaxTextFileBytes >> 20) + " MiB");
            return false;
        }
    }
    std::string text, why;
    const bool read = ReadAllLimited(fd, text, why);
    if (fd != STDIN_FILENO) close(fd);
    if (!read) {
        error = name + ": " + why;
        return false;
    }
    if (IsBinaryList(text)) {
        error = name +
                ": is a list file of the binary format, not its text form; "
                "tarnwatch --export writes the text form of the list";
        return false;
    }
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n');
        error = name + ":" + std::to_string(line) +
                ": holds a NUL byte: not a text file (a damaged binary list file?)";
        return false;
    }
    return ListFromText(text, name, entries, error);
}

TextListOutcome ReplaceList(const EntryCollection& entries, const ListFilePaths& paths,
                            const std::string& source) {
    std::string failure;
    const std::string kept = KeepListCopy(paths, "replaced", failure);
    if (!failure.empty()) {
        return Failed("the list was left as it was: the list file " + paths.listFile +
                      " could not be kept before replacing it: " + failure);
    }
    std::string reason;
    if (SaveListFile(entries, paths, &reason) != SaveResult::kWritten) {
        return Failed("the list was left as it was: " + SaveFailureMessage(paths.listFile, reason));
    }
    std::string message = Entries(entries.rowCount) + " imported from " + ShownName(source) +
                          " into " + paths.listFile;
    if (!kept.empty()) message += "; the list it replaced is kept as " + kept;
    return {kTextListDone, message};
}

TextListOutcome ImportListText(const ListFilePaths& paths, const std::string& source) {
    if (source.empty()) return Failed("--import needs a file name, or - for standard input");
    EntryCollection entries;
    std::string error;
    if (!ReadListText(source, entries, error)) return Failed(error + "; nothing was imported");
    ListDirectoryLock lock;
    switch (lock.Acquire(paths.directory)) {
        case ListDirectoryLock::Result::kHeld:
            break;
        case ListDirectoryLock::Result::kTaken:
            return Failed("a running Tarnwatch holds the list in " + paths.directory +
                          "; nothing was imported. Import in its window, or quit it and "
                          "import again");
        case ListDirectoryLock::Result::kFailed:
            return Failed("the list cannot be locked (" + lock.path() + ": " + lock.reason() +
                          "); nothing was imported");
    }
    return ReplaceList(entries, paths, source);
}

}  // namespace tarnwatch

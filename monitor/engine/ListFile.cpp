// Reading and writing the list file.
#include "engine/ListFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

std::string JoinPath(const std::string& dir, const char* name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// Creates the directory and its parents; existing ones are fine.
bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies all of the open file `in` into `out`, in the kernel where it can.
bool CopyContent(int in, int out) {
    if (lseek(in, 0, SEEK_SET) != 0) return false;
    for (;;) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0 || errno == EINTR) continue;
        break;
    }
    // Some file systems cannot copy in the kernel: fall back to a loop.
    if (lseek(in, 0, SEEK_SET) != 0 || ftruncate(out, 0) != 0 || lseek(out, 0, SEEK_SET) != 0) {
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t r = read(in, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r == 0;
        if (!WriteAll(out, buf, static_cast<std::size_t>(r))) return false;
    }
}

// Copies the open file `in` over `to` through a temporary file and a rename,
// so a reader never sees a half-written copy.
bool CopyFileOver(int in, const std::string& to) {
    return ReplaceFile(to, false, [in](int out) { return CopyContent(in, out); });
}

// Opens a file for reading without ever waiting in open (a FIFO in its place
// would wait for a writer, deaf to every signal) and without following a link
// another user planted; -1 unless it is a regular file, with `notRegular` or
// `unsafeLink` set when something else stands there.
int OpenRegularFile(const std::string& path, bool* notRegular = nullptr,
                    std::string* unsafeLink = nullptr) {
    std::string resolved;
    const Follow follow = FollowLinks(path, resolved);
    if (follow == Follow::kUnsafeLink && unsafeLink) *unsafeLink = resolved;
    if (follow != Follow::kDone) return -1;
    const int fd =
        open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (notRegular) *notRegular = true;
        close(fd);
        return -1;
    }
    return fd;
}

// "Tarnwatch.ini" as "Tarnwatch" + "-damaged-20240501-120000" + ".ini",
// with "-2", "-3", ... after the time when that name is taken.
std::string KeptName(const std::string& directory, const std::string& file, const char* what,
                     std::time_t when, int n) {
    const std::size_t dot = file.find_last_of('.');
    const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : file.substr(dot);
    std::tm tm{};
    char stamp[32] = "";
    if (localtime_r(&when, &tm)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string name = stem + "-" + what + "-" + stamp;
    if (n > 1) {
        // Appended piece by piece: "-" + to_string() trips a false -Wrestrict
        // of GCC 12 at -O3.
        name += '-';
        name += std::to_string(n);
    }
    return JoinPath(directory, (name + ext).c_str());
}

// True when the open files `a` and `b` hold the same bytes.
bool SameContent(int a, int b) {
    struct stat sa {
    }, sb{};
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0 || sa.st_size != sb.st_size) return false;
    char ba[65536], bb[65536];
    for (off_t at = 0; at < sa.st_size;) {
        const ssize_t n = pread(a, ba, sizeof ba, at);
        if (n <= 0 || pread(b, bb, static_cast<std::size_t>(n), at) != n) return false;
        if (std::memcmp(ba, bb, static_cast<std::size_t>(n)) != 0) return false;
        at += n;
    }
    return true;
}

// A copy of `in` kept earlier under a KeptName of `file` and `what`, or "".
std::string KeptAlready(int in, const std::string& directory, const std::string& file,
                        const char* what) {
    const std::size_t dot = file.find_last_of('.');
    const std::string prefix =
        (dot == std::string::npos ? file : file.substr(0, dot)) + "-" + what + "-";
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return "";
    std::string found;
    while (const dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const std::string name = JoinPath(directory, e->d_name);
        const int fd = OpenRegularFile(name);
        if (fd < 0) continue;
        const bool same = SameContent(in, fd);
        close(fd);
        if (same) {
            found = name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Keeps a copy of the open file `in` in the list directory under a name of
// its own (see KeptName for `file` and `what`); an existing file is never
// replaced. The copy is written under the list file's temporary-file pattern
// and linked into place only once complete. The name, or "" (errno set).
std::string KeepCopy(int in, const ListFilePaths& paths, const std::string& file,
                     const char* what) {
    // A list nothing could be read from stays as it is, damaged, at every
    // start: one copy of each content is enough.
    if (std::string same = KeptAlready(in, paths.directory, file, what); !same.empty()) {
        return same;
    }
    std::vector<char> temp = TempTemplate(paths.listFile);
    const int fd = FilledTempFile(temp, true, [in](int out) { return CopyContent(in, out); });
    if (fd < 0) return "";
    const std::time_t now = std::time(nullptr);
    std::string kept;
    const auto place = [&](const char* from) {
        for (int n = 1; n < 10000; ++n) {
            const std::string name = KeptName(paths.directory, file, what, now, n);
            int r = renameat2(AT_FDCWD, from, AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
            if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
                // A file system without the no-replace rename: a hard link
                // never replaces either.
                r = link(from, name.c_str());
                if (r == 0) unlink(from);
            }
            if (r == 0) {
                kept = name;
                return true;
            }
            if (errno != EEXIST) break;
        }
        return false;
    };
    if (PlaceTempFile(fd, temp.data(), place)) SyncDirectory(paths.directory);
    return kept;
}

// A damaged list file and the backup (the last complete list) are kept under
// names of their own, so later saves and backup copies can never take them.
void KeepDamagedList(int listFd, const ListFilePaths& paths, LoadReport& report) {
    report.keptList = KeepCopy(listFd, paths, FileNameOf(paths.listFile), "damaged");
    if (report.keptList.empty()) report.keepFailure = std::strerror(errno);
    const int backup = OpenRegularFile(paths.backupFile);
    if (backup < 0) return;
    report.keptBackup = KeepCopy(backup, paths, FileNameOf(paths.backupFile), "complete");
    if (report.keptBackup.empty()) report.keepFailure = std::strerror(errno);
    close(backup);
}

template <typename T>
T ReadRaw(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Copies a stored text up to its NUL, never past the field.
void CopyField(char* dest, std::size_t destSize, const unsigned char* src, std::size_t srcSize) {
    std::size_t n = 0;
    while (n < srcSize && n + 1 < destSize && src[n] != 0) ++n;
    std::memcpy(dest, src, n);
    std::memset(dest + n, 0, destSize - n);
}

void TerminateTexts(ServiceItem& e) {
    e.source[kTextSize - 1] = '\0';
    e.timeoutText[kTimeoutTextSize - 1] = '\0';
    e.address[kTextSize - 1] = '\0';
    e.description[kTextSize - 1] = '\0';
    e.alerts.sound.failedSound[kTextSize - 1] = '\0';
    e.alerts.sound.okAgainSound[kTextSize - 1] = '\0';
    e.alerts.batch.failedCommand[kTextSize - 1] = '\0';
    e.alerts.batch.okAgainCommand[kTextSize - 1] = '\0';
}

void Convert1888(const unsigned char* raw, ServiceItem& e) {
    std::memset(&e, 0, sizeof e);
    auto* out = reinterpret_cast<unsigned char*>(&e);
    e.sourceKind = kSourceTcpPort;
    // Everything up to the old `state` sat 4 bytes earlier; the two wait
    // flags did not exist; the tail sat 12 bytes earlier.
    std::memcpy(out + 4, raw, 1864);
    std::memcpy(out + 1876, raw + 1864, 24);
    CopyField(e.source, kTextSize, raw + 0, 256);
    CopyField(e.timeoutText, kTimeoutTextSize, raw + 256, 20);
    CopyField(e.address, kTextSize, raw + 276, 256);
    CopyField(e.description, kTextSize, raw + 536, 256);
    CopyField(e.alerts.sound.failedSound, kTextSize, raw + 820, 256);
    CopyField(e.alerts.sound.okAgainSound, kTextSize, raw + 1076, 256);
    CopyField(e.alerts.batch.failedCommand, kTextSize, raw + 1352, 256);
    CopyField(e.alerts.batch.okAgainCommand, kTextSize, raw + 1608, 256);
    e.alerts.batch.failedCommandWait = 0;
    e.alerts.batch.okAgainCommandWait = 0;
    e.frequency = kFrequencyHigh;
    e.lastTestTime = 0;
    e.checkInternet = 0;
}

}  // namespace

bool MakeListDirectory(const std::string& directory) {
    return MakeDirectories(directory);
}

ListFilePaths ListFileLocation() {
    ListFilePaths p;
    const char* home = std::getenv("TARNWATCH_HOME");
    if (home && *home) {
        p.directory = home;
    } else {
        const char* data = std::getenv("XDG_DATA_HOME");
        if (data && *data == '/') {
            p.directory = std::string(data) + "/Tarnwatch";
        } else {
            const char* userHome = std::getenv("HOME");
            p.directory =
                std::string(userHome && *userHome ? userHome : ".") + "/.local/share/Tarnwatch";
        }
    }
    p.listFile = JoinPath(p.directory, LoadString(IDS_LIST_FILE));
    p.backupFile = JoinPath(p.directory, LoadString(IDS_BACKUP_FILE));
    return p;
}

int RecordSizeForHeader(float header) {
    double h = header;
    if (h < -2.1) return kRecordSize1912;
    if (h < -2.02) return kRecordSize1908;
    if (h < -1.21) return kRecordSize1900;
    return kRecordSize1888;  // also NaN
}

void ConvertRecord(const unsigned char* raw, int size, ServiceItem& out) {
    auto* bytes = reinterpret_cast<unsigned char*>(&out);
    switch (size) {
        case kRecordSize1912:
            std::memcpy(bytes, raw, sizeof out);
            break;
        case kRecordSize1908:
            std::memcpy(bytes, raw, kRecordSize1908);
            out.checkInternet = 0;
            if (out.serviceTest >= kServiceTestIsRunning) ++out.serviceTest;
            break;
        case kRecordSize1900:
            std::memcpy(bytes, raw, kRecordSize1900);
            out.lastTestTime = 0;
            out.frequency = kFrequencyHigh;
            out.checkInternet = 0;
            break;
        default:
            Convert1888(raw, out);
            break;
    }
    TerminateTexts(out);
}

// Reads up to `size` bytes, fewer only at end of file or on an error.
std::size_t ReadUpTo(int fd, unsigned char* buf, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

namespace {

// Reads the header, the count and the whole records into the collection.
// Returns the file size that header and count promise, or -1 when they
// cannot be read or the count is negative.
long long ReadRecords(int fd, long long fileSize, EntryCollection& entries, LoadReport& report) {
    unsigned char head[8];
    if (ReadUpTo(fd, head, sizeof head) != sizeof head) {
        report.readError = true;
        return -1;
    }
    report.opened = true;
    const float header = ReadRaw<float>(head);
    const std::int32_t count = ReadRaw<std::int32_t>(head + 4);
    if (count < 0) return -1;
    const int size = RecordSizeForHeader(header);
    const long long promised = 8 + static_cast<long long>(count) * size + 4;
    if (count == 0) return promised;

    // Never allocate for more records than the file can hold: a damaged
    // count must not cost memory.
    const long long available = (fileSize - 8) / size;
    const int room = static_cast<int>(std::min<long long>(count, std::max(0LL, available)));
    if (!entries.Allocate(room)) {
        report.outOfMemory = true;
        entries.Clear();
        return promised;
    }

    // Records are read in chunks of many at a time; a short read ends the
    // load after the last whole record.
    constexpr int kChunkRecords = 256;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(size) * kChunkRecords);
    int loaded = 0;
    report.readError = room < count;
    while (loaded < room) {
        const int want = std::min(kChunkRecords, room - loaded);
        const std::size_t got = ReadUpTo(fd, chunk.data(), static_cast<std::size_t>(want) * size);
        const int whole = static_cast<int>(got / static_cast<std::size_t>(size));
        for (int k = 0; k < whole; ++k, ++loaded) {
            ServiceItem& e = entries.records[static_cast<std::size_t>(loaded)];
            ConvertRecord(chunk.data() + static_cast<std::size_t>(k) * size, size, e);
            e.row = loaded;
            e.state = kStateUntested;
            e.attempt = 0;
            e.lastTestTime = 0;
            entries.order[static_cast<std::size_t>(loaded)] = loaded;
        }
        if (whole < want) {
            report.readError = true;
            break;
        }
    }
    entries.recordCount = loaded;
    entries.rowCount = loaded;
    entries.selectedRow = loaded - 1;
    return promised;
}

}  // namespace

namespace {

// A load that, with `touchFiles` false, only reads: no backup copy, no
// damaged list kept.
LoadReport ReadList(EntryCollection& entries, const ListFilePaths& paths, bool touchFiles) {
    LoadReport report;
    entries.Clear();
    const int fd = OpenRegularFile(paths.listFile, &report.notRegularFile, &report.unsafeLink);
    if (fd < 0) return report;
    struct stat st {};
    fstat(fd, &st);
    const long long promised = ReadRecords(fd, st.st_size, entries, report);
    if (!touchFiles) {
        report.damaged = !report.outOfMemory && (report.readError || promised != st.st_size);
    } else if (!report.outOfMemory) {
        // A file cut short, or one whose size is not what its header and
        // count promise, may hold less than the list that was saved: the
        // backup must keep the last complete list.
        report.damaged = report.readError || promised != st.st_size;
        if (report.damaged) {
            KeepDamagedList(fd, paths, report);
        } else if (entries.rowCount > 0) {
            CopyFileOver(fd, paths.backupFile);
        }
    }
    close(fd);
    return report;
}

}  // namespace

LoadReport LoadListFile(EntryCollection& entries, const ListFilePaths& paths) {
    return ReadList(entries, paths, true);
}

LoadReport ReadListFile(EntryCollection& entries, const ListFilePaths& paths) {
    return ReadList(entries, paths, false);
}

std::string KeepListCopy(const ListFilePaths& paths, const char* what, std::string& failure) {
    bool notRegular = false;
    std::string unsafeLink;
    errno = 0;
    const int fd = OpenRegularFile(paths.listFile, &notRegular, &unsafeLink);
    if (fd < 0) {
        if (errno == ENOENT && !notRegular && unsafeLink.empty()) return "";
        failure = !unsafeLink.empty() ? UnsafeLinkReason(unsafeLink)
                  : notRegular        ? std::string("it is not a regular file")
                                      : std::string(std::strerror(errno));
        return "";
    }
    std::string kept = KeepCopy(fd, paths, FileNameOf(paths.listFile), what);
    if (kept.empty()) failure = std::strerror(errno);
    close(fd);
    return kept;
}

SaveResult SaveListFile(const EntryCollection& entries, const ListFilePaths& paths,
                        std::string* reason) {
    // Nothing loaded and nothing added: leave whatever file exists alone.
    if (entries.rowCount <= 0 && entries.recordCount <= 0) return SaveResult::kNothingToSave;
    const int rows = std::max(0, entries.rowCount);

    std::vector<unsigned char> out;
    out.resize(8 + static_cast<std::size_t>(rows) * sizeof(ServiceItem) + 4);
    std::memcpy(out.data(), &kCurrentHeader, 4);
    std::int32_t count = rows;
    std::memcpy(out.data() + 4, &count, 4);
    unsigned char* p = out.data() + 8;
    for (int i = 0; i < rows; ++i) {
        // A record's row is its place in the file, also where the rows
        // behind a moved one are not numbered again yet.
        ServiceItem record = entries.RecordAtRow(i);
        record.row = i;
        std::memcpy(p, &record, sizeof(ServiceItem));
        p += sizeof(ServiceItem);
    }
    std::memset(p, 0, 4);

    errno = 0;
    if (!MakeDirectories(paths.directory)) {
        if (reason) *reason = errno ? std::strerror(errno) : "the directory cannot be made";
        return SaveResult::kFailed;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(out.data()), out.size());
    return ReplaceFile(paths.listFile, true, bytes, reason) ? SaveResult::kWritten
                                                            : SaveResult::kFailed;
}

std::string SaveFailureMessage(const std::string& file, const std::string& reason) {
    return FormatText(LoadString(IDS_SAVE_FAILED), {file, reason});
}

int RemoveLeftoverTempFiles(const ListFilePaths& paths) {
    return RemoveLeftoverTempFilesOf(paths.listFile) + RemoveLeftoverTempFilesOf(paths.backupFile);
}

}  // namespace tarnwatch

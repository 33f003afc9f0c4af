// Reading and writing the list file.
#include "engine/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

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

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
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

// Writes `target` through a temporary file in the same directory: `fill`
// writes the content, and the temporary file replaces the target by a rename
// only once it is complete, so a reader never sees a half-written file. With
// `durable` the data and the rename are synced to disk first.
template <typename Fill>
bool WriteThroughTempFile(const std::string& target, bool durable, Fill fill) {
    std::string tmpl = target + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fill(fd) && (!durable || fsync(fd) == 0);
    if (fchmod(fd, 0644) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(name.data(), target.c_str()) != 0) ok = false;
    if (!ok) {
        const int saved = errno;  // the reason the caller reports
        unlink(name.data());
        errno = saved;
        return false;
    }
    if (durable) {
        const std::size_t slash = target.find_last_of('/');
        SyncDirectory(slash == std::string::npos ? "." : target.substr(0, slash + 1));
    }
    return true;
}

bool ReplaceFileAtomically(const std::string& target, const void* bytes, std::size_t size) {
    return WriteThroughTempFile(target, true, [&](int fd) { return WriteAll(fd, bytes, size); });
}

// Copies a file over another through a temporary file and a rename, so a
// reader never sees a half-written copy. The copy stays in the kernel where
// it can.
bool CopyFileOver(const std::string& from, const std::string& to) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const bool ok = WriteThroughTempFile(to, false, [in](int out) {
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
    });
    close(in);
    return ok;
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

LoadReport LoadListFile(EntryCollection& entries, const ListFilePaths& paths) {
    LoadReport report;
    entries.Clear();
    int fd = open(paths.listFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return report;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return report;
    }

    unsigned char head[8];
    if (ReadUpTo(fd, head, sizeof head) != sizeof head) {
        report.readError = true;
        close(fd);
        return report;
    }
    report.opened = true;
    const float header = ReadRaw<float>(head);
    const std::int32_t count = ReadRaw<std::int32_t>(head + 4);
    if (count <= 0) {
        close(fd);
        return report;
    }

    const int size = RecordSizeForHeader(header);
    // Never allocate for more records than the file can hold: a damaged
    // count must not cost memory.
    const long long available = (static_cast<long long>(st.st_size) - 8) / size;
    const int room = static_cast<int>(std::min<long long>(count, std::max(0LL, available)));
    if (!entries.Allocate(room)) {
        report.outOfMemory = true;
        entries.Clear();
        close(fd);
        return report;
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
    close(fd);
    entries.recordCount = loaded;
    entries.rowCount = loaded;
    entries.selectedRow = loaded - 1;

    if (loaded > 0 && !report.readError) CopyFileOver(paths.listFile, paths.backupFile);
    return report;
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
        std::memcpy(p, &entries.RecordAtRow(i), sizeof(ServiceItem));
        p += sizeof(ServiceItem);
    }
    std::memset(p, 0, 4);

    errno = 0;
    if (MakeDirectories(paths.directory) &&
        ReplaceFileAtomically(paths.listFile, out.data(), out.size())) {
        return SaveResult::kWritten;
    }
    if (reason) *reason = errno ? std::strerror(errno) : "the directory cannot be made";
    return SaveResult::kFailed;
}

std::string SaveFailureMessage(const std::string& file, const std::string& reason) {
    std::string text = LoadString(IDS_SAVE_FAILED);
    std::size_t from = 0;
    for (const std::string* part : {&file, &reason}) {
        const std::size_t at = text.find("%s", from);
        if (at == std::string::npos) break;
        text.replace(at, 2, *part);
        from = at + part->size();
    }
    return text;
}

}  // namespace tarnwatch

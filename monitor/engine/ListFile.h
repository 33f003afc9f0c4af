// The list file "Tarnwatch.ini": a float header holding the negated format
// version, an int32 count, the records in display order and an int32 trailer.
// Four historical record layouts are read; the current one is written.
#pragma once

#include <cstddef>
#include <string>

#include "engine/EntryCollection.h"

namespace tarnwatch {

struct ListFilePaths {
    std::string directory;
    std::string listFile;
    std::string backupFile;
};

// $TARNWATCH_HOME if set, else $XDG_DATA_HOME/Tarnwatch, else
// ~/.local/share/Tarnwatch. Looked up afresh on every call.
ListFilePaths ListFileLocation();

// Creates the list directory and its parents; true when it exists.
[[nodiscard]] bool MakeListDirectory(const std::string& directory);

// Record sizes of the four layouts.
inline constexpr int kRecordSize1912 = 1912;
inline constexpr int kRecordSize1908 = 1908;
inline constexpr int kRecordSize1900 = 1900;
inline constexpr int kRecordSize1888 = 1888;
// The header this program writes: -2.2 as a float.
inline constexpr float kCurrentHeader = -2.2f;

// The record size a header selects (compared strictly in double precision).
[[nodiscard]] int RecordSizeForHeader(float header);

// Turns `size` raw bytes of one stored record into a current record. Texts
// are always left NUL-terminated within their fields.
void ConvertRecord(const unsigned char* raw, int size, ServiceItem& out);

struct LoadReport {
    bool opened = false;       // the file was opened and its header and count read
    bool readError = false;    // the header, count or last record was cut short
    bool outOfMemory = false;  // the collection could not be allocated
    // Something other than a regular file (a FIFO, a device, a directory)
    // stands in the list file's place: nothing was read from it.
    bool notRegularFile = false;
    // The list file's path leads through a symbolic link of another user
    // that is not followed (see LinkIsSafe); this names it.
    std::string unsafeLink;
    // Cut short, or the file's size is not what its header and count
    // promise. The damaged file and the backup were then kept under names of
    // their own in the list directory (empty where there was nothing to keep
    // or the copy failed, `keepFailure` saying why).
    bool damaged = false;
    std::string keptList;
    std::string keptBackup;
    std::string keepFailure;
};

// Fills the collection from the list file. Run-time fields are reset: `row`
// = position, `state` = untested, `attempt` = 0, `lastTestTime` = 0. After a
// complete load of at least one record from a file of the promised size, the
// list file is copied over the backup; a damaged one never is. The rows of
// the window are not touched here.
[[nodiscard]] LoadReport LoadListFile(EntryCollection& entries, const ListFilePaths& paths);

// The same reading as LoadListFile, which changes no file: the backup is
// not refreshed and a damaged list is only reported (`damaged`), not kept.
[[nodiscard]] LoadReport ReadListFile(EntryCollection& entries, const ListFilePaths& paths);

// Keeps the list file as it stands under a name of its own beside it, as a
// damaged list is kept, with `what` in the name ("Tarnwatch-WHAT-DATE.ini"),
// before something else replaces it. Returns that name, or "" when there is
// no list file or no copy could be made (then `failure` says why).
std::string KeepListCopy(const ListFilePaths& paths, const char* what, std::string& failure);

enum class SaveResult { kNothingToSave, kWritten, kFailed };

// Writes the rows in display order. An empty list is written only when
// entries existed and the operator removed them all; a list that was never
// loaded leaves the file alone. The new file replaces the old one only once it
// is completely on disk, so a failed save keeps the previous list whole; the
// system's reason for the failure goes to `reason` when one is given. A list
// file that is a symbolic link is saved to the file it names; one that is not
// a regular file, or a link another user planted, is never written over.
[[nodiscard]] SaveResult SaveListFile(const EntryCollection& entries, const ListFilePaths& paths,
                                      std::string* reason = nullptr);

// The message that reports a failed save of `file` for `reason`.
std::string SaveFailureMessage(const std::string& file, const std::string& reason);

// Removes the temporary files that interrupted saves of the list and the
// backup left behind (see RemoveLeftoverTempFilesOf). Only for a program
// that holds the list directory's lock. Returns how many.
int RemoveLeftoverTempFiles(const ListFilePaths& paths);

}  // namespace tarnwatch

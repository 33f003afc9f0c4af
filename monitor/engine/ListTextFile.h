// Export of the list to its text form and import from it, as whole
// operations on files: what `tarnwatch --export` and `--import` run, and what
// the window's two menu items share with them.
#pragma once

#include <string>

#include "engine/EntryCollection.h"
#include "engine/ListFile.h"

namespace tarnwatch {

// The largest text file import reads: about 25,000 entries with every key
// written out. A larger one is refused with this limit in the message.
inline constexpr long long kMaxTextFileBytes = 16LL << 20;

// The exit codes of the two operations.
enum TextListCode : int {
    kTextListDone = 0,
    kTextListPartial = 1,  // export of a damaged list: the whole records only
    kTextListFailed = 2,
};

struct TextListOutcome {
    int code = kTextListDone;
    // What happened, for standard error or a message box: a warning or the
    // error, or on success a line saying what was done ("" for an export to
    // standard output that went well).
    std::string message;
};

// Writes the rows of `entries` as text to `target` ("-" for standard
// output), replacing `target` whole once written; never over the list file
// of `paths` or its backup.
TextListOutcome WriteListText(const EntryCollection& entries, const ListFilePaths& paths,
                              const std::string& target);

// Writes the list file's entries as text to `target` ("-" for standard
// output). Takes no lock and changes no file but `target`, which is
// replaced whole once written; never the list file or its backup.
TextListOutcome ExportListText(const ListFilePaths& paths, const std::string& target);

// Reads the text file `source` ("-" for standard input) into `entries`: a
// regular file (or standard input) of at most kMaxTextFileBytes, in the text
// form, every entry valid. On failure the message names the file, and where
// the text is at fault its line and the field.
[[nodiscard]] bool ReadListText(const std::string& source, EntryCollection& entries,
                                std::string& error);

// Replaces the list with `entries`: the current list file is first kept
// under a name of its own beside it (see KeepListCopy, "replaced"), then the
// new list is saved as every save is. On failure nothing has changed.
TextListOutcome ReplaceList(const EntryCollection& entries, const ListFilePaths& paths,
                            const std::string& source);

// `tarnwatch --import`: ReadListText, then ReplaceList while holding the
// list directory's lock; refused while a monitor holds it.
TextListOutcome ImportListText(const ListFilePaths& paths, const std::string& source);

}  // namespace tarnwatch

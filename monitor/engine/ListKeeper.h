// The list file of the running program: the load and what it tells the user
// about a damaged or unusable file, and the saves after every change, made
// at once or, with the window, a moment later on a thread of their own.
#pragma once

#include <memory>
#include <string>

#include "engine/EntryCollection.h"
#include "engine/ListFile.h"
#include "engine/ListWriter.h"
#include "engine/Ports.h"

namespace tarnwatch {

class ListKeeper {
public:
    // `shutdownDone` turns the delayed saves and their messages off once the
    // shutdown has written the list itself.
    ListKeeper(const Ports& ports, EntryCollection& entries, const bool& shutdownDone)
        : ports_(ports), entries_(entries), shutdownDone_(shutdownDone) {}

    // Loads the list file into the entries and tells the user, on standard
    // error and in a message box, about a file that was damaged or could not
    // be used.
    const LoadReport& Load();
    const LoadReport& LastLoad() const { return lastLoad_; }

    // Saves the list after a change; a failure is reported on standard error
    // and, with `showMessage`, in a message box too. With background saves
    // on, a save with a message is made a moment later in the background.
    void Save(bool showMessage);
    // The shutdown's save: what waits in the background lands first, and a
    // failure goes to standard error alone.
    void SaveForClose();
    // Saves after Add and Edit go to a thread of their own (the window turns
    // this on; a failure is still told, as soon as it is known).
    void SetBackgroundSaves(bool on);
    // kTimerSaveCheck: hands a due save to the writer and reports failures.
    void CheckBackgroundSaves();
    // A save still due goes to the writer, and every save in the background
    // lands, before the list file is replaced from elsewhere.
    void FlushBackgroundSaves();

private:
    void SaveNow(bool showMessage);
    void ReportLoadProblems(const ListFilePaths& paths);

    const Ports& ports_;
    EntryCollection& entries_;
    const bool& shutdownDone_;
    LoadReport lastLoad_;
    std::unique_ptr<ListWriter> writer_;
    bool saveDue_ = false;  // a background save waits for kTimerSaveCheck
    static constexpr int kSaveDelayMs = 200;
};

// A report on standard error and, with `box`, in a message box too.
void TellUser(const Ports& ports, const std::string& message, bool box);

}  // namespace tarnwatch

// Loading and saving the running program's list file.
#include "engine/ListKeeper.h"

#include <new>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {

void TellUser(const Ports& ports, const std::string& message, bool box) {
    box = box && ports.messageBox;
    if (!box || !ports.messageBox->WritesToStandardError()) {
        TellOnStandardError(message);
    }
    if (box) ports.messageBox->Show(message);
}

const LoadReport& ListKeeper::Load() {
    const ListFilePaths paths = ListFileLocation();
    lastLoad_ = LoadListFile(entries_, paths);
    if (!lastLoad_.outOfMemory) ReportLoadProblems(paths);
    return lastLoad_;
}

void ListKeeper::ReportLoadProblems(const ListFilePaths& paths) {
    std::string message;
    if (!lastLoad_.unsafeLink.empty()) {
        message = FormatText(LoadString(IDS_LIST_UNSAFE_LINK),
                             {paths.listFile, UnsafeLinkReason(lastLoad_.unsafeLink)});
    } else if (lastLoad_.notRegularFile) {
        message = FormatText(LoadString(IDS_LIST_NOT_REGULAR), {paths.listFile});
    } else if (lastLoad_.damaged) {
        message = FormatText(LoadString(IDS_LIST_DAMAGED),
                             {paths.listFile, std::to_string(entries_.rowCount)});
        if (!lastLoad_.keptList.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEPT_DAMAGED), {lastLoad_.keptList});
        }
        if (!lastLoad_.keptBackup.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEPT_BACKUP), {lastLoad_.keptBackup});
        }
        if (!lastLoad_.keepFailure.empty()) {
            message += FormatText(LoadString(IDS_LIST_KEEP_FAILED), {lastLoad_.keepFailure});
        }
    } else {
        return;
    }
    TellUser(ports_, message, true);
}

void ListKeeper::SetBackgroundSaves(bool on) {
    if (on && !writer_) writer_ = std::make_unique<ListWriter>();
    if (!on && writer_) {
        CheckBackgroundSaves();  // a save that waits goes out now
        writer_->Flush();
        CheckBackgroundSaves();
        writer_.reset();
    }
}

void ListKeeper::Save(bool showMessage) {
    if (writer_ && showMessage && !shutdownDone_ && ports_.timers) {
        // The copy for the writer is made a moment later, once the window
        // has shown the change; quick edits in a row make one save.
        saveDue_ = true;
        ports_.timers->SetTimer(kTimerSaveCheck, kSaveDelayMs);
        return;
    }
    SaveNow(showMessage);
}

void ListKeeper::FlushBackgroundSaves() {
    if (!writer_) return;
    CheckBackgroundSaves();
    writer_->Flush();
}

void ListKeeper::SaveForClose() {
    if (writer_) {
        // A save still due goes out now, in this save; whatever a save in the
        // background left to say goes to standard error.
        writer_->Flush();
        saveDue_ = false;
        CheckBackgroundSaves();
        if (ports_.timers) ports_.timers->KillTimer(kTimerSaveCheck);
    }
    // A message box must never hold up a logout: standard error alone.
    SaveNow(false);
}

void ListKeeper::SaveNow(bool showMessage) {
    const ListFilePaths paths = ListFileLocation();
    std::string reason;
    if (SaveListFile(entries_, paths, &reason) != SaveResult::kFailed) return;
    TellUser(ports_, SaveFailureMessage(paths.listFile, reason), showMessage);
}

void ListKeeper::CheckBackgroundSaves() {
    if (!writer_) return;
    if (saveDue_ && !shutdownDone_) {
        saveDue_ = false;
        try {
            writer_->Submit(entries_, ListFileLocation());
        } catch (const std::bad_alloc&) {
            // No memory for the copy: save here and now instead, once an
            // older copy being written cannot land after this one.
            writer_->Flush();
            SaveNow(true);
        }
    }
    // Idle first: a save that ends between the two calls then has its failure
    // taken now or at the next check, never at neither.
    const bool idle = writer_->Idle();
    for (const std::string& message : writer_->TakeFailures()) {
        TellUser(ports_, message, !shutdownDone_);
    }
    if (!idle && ports_.timers && !shutdownDone_) {
        ports_.timers->SetTimer(kTimerSaveCheck, 50);
    }
}

}  // namespace tarnwatch

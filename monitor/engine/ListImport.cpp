// A list read from its text form taking the place of the running monitor's
// list.
#include "engine/ListTextFile.h"
#include "engine/MonitorEngine.h"

namespace tarnwatch {

TextListOutcome MonitorEngine::ImportEntries(EntryCollection entries, const std::string& source) {
    if (Busy() || shutdownDone_) {
        return {kTextListFailed, "the list is in use; nothing was imported"};
    }
    PauseSchedule();
    // A save still waiting would write the old rows over the new list, and
    // the copy kept of the old list should hold its latest state.
    if (writer_) {
        CheckBackgroundSaves();
        writer_->Flush();
    }
    TextListOutcome outcome = ReplaceList(entries, ListFileLocation(), source);
    if (outcome.code == kTextListDone) {
        entries_ = std::move(entries);
        testDurationUs_.clear();
        BuildRowsFromEntries();
        SetRowButtons(entries_.rowCount > 0);
        if (observer_) {
            observer_->RowsReset();
            observer_->StateChanged();
        }
    }
    ResumeSchedule();
    return outcome;
}

}  // namespace tarnwatch

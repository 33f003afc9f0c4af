// A list read from its text form taking the place of the running monitor's
// list.
#include "engine/ListTextFile.h"
#include "engine/MonitorEngine.h"

namespace tarnwatch {

TextListOutcome MonitorEngine::ImportEntries(EntryCollection entries, const std::string& source) {
    if (!Idle()) return {kTextListFailed, "the list is in use; nothing was imported"};
    PauseSchedule();
    // A save still waiting would write the old rows over the new list, and
    // the copy kept of the old list should hold its latest state.
    keeper_.FlushBackgroundSaves();
    TextListOutcome outcome = ReplaceList(entries, ListFileLocation(), source);
    if (outcome.code == kTextListDone) {
        model_.entries = std::move(entries);
        pass_.ForgetDurations();
        model_.BuildRows();
        list_.ResetButtons();
        if (model_.observer) {
            model_.observer->RowsReset();
            model_.observer->StateChanged();
        }
    }
    ResumeSchedule();
    return outcome;
}

}  // namespace tarnwatch

// The commands of the main window's list: select, add, edit, remove, move
// and sort, and the buttons they leave usable. The coordinator runs them
// only while nothing else runs (no pass, no sheet) and pauses the schedule
// around each; they check their rows themselves.
#pragma once

#include <cstdint>

#include "engine/ListKeeper.h"
#include "engine/MonitorModel.h"
#include "engine/Ports.h"

namespace tarnwatch {

struct ButtonStates {
    bool add = false;
    bool remove = false;
    bool edit = false;
    bool update = false;
    bool moveUp = false;
    bool moveDown = false;
};

class ListCommands {
public:
    // A sheet's OK counts only while `closeRequested` is false: a close that
    // waits for the sheet to end has the last word.
    ListCommands(const Ports& ports, SettingsStore* store, MonitorModel& model, ListKeeper& keeper,
                 const bool& closeRequested)
        : ports_(ports),
          store_(store),
          model_(model),
          keeper_(keeper),
          closeRequested_(closeRequested) {}

    // `row` becomes the selected row (-1 = none).
    void Select(int row);
    void Add();
    void Edit();
    void Remove();
    // Swaps the rows `from` and `to`; the moved entry stays selected.
    void Move(int from, int to);
    // Sorts by the cells of `column` as shown; the same column again
    // reverses the order.
    void Sort(int column);

    const ButtonStates& Buttons() const { return buttons_; }
    // The buttons of a list that was just loaded: Add, and the row buttons
    // when there are rows.
    void ResetButtons();

private:
    // Writes the working entry's cells (and, with `writeBack`, its fields
    // but `state` and `row`) into row `row`.
    void RefreshRow(int row, bool writeBack, int image, const std::string& status);
    void RemoveRow(int row);
    void SetRowButtons(bool enabled);
    bool SheetAccepted(bool accepted) const { return accepted && !closeRequested_; }

    const Ports& ports_;
    SettingsStore* store_;
    MonitorModel& model_;
    ListKeeper& keeper_;
    const bool& closeRequested_;
    ButtonStates buttons_;
    int sortColumn_ = -1;  // the column of the last sort, and its clicks
    int sortClicks_ = 0;
};

}  // namespace tarnwatch

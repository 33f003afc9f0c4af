// What every job of the monitor works on: the entries, their rows as plain
// data, the working entry of the command or test in progress and the global
// settings; and the interfaces to what lies outside the engine: the user
// interface that renders it all and the store of the settings.
#pragma once

#include <vector>

#include "engine/EntryCollection.h"
#include "engine/ListOrder.h"
#include "engine/RowDisplay.h"
#include "engine/ServiceItem.h"
#include "engine/Settings.h"

namespace tarnwatch {

// Where the global settings persist. Without one, the defaults stand.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual void ReadSettings(GlobalSettings& settings) = 0;
    virtual void WriteListAndAlertSettings(const GlobalSettings& settings) = 0;
    // The run and control options and the intervals; the autostart entry
    // follows "Startup" when it differs from `startupBefore`.
    virtual void WriteRunOptions(const GlobalSettings& settings, int startupBefore) = 0;
};

// What the user interface is told.
class EngineObserver {
public:
    virtual ~EngineObserver() = default;
    virtual void RowsReset() = 0;          // every row may have changed
    virtual void RowChanged(int row) = 0;  // one row's image or cells
    // Rows added, taken out or moved; the rows in between follow. Observers
    // that keep no per-row state may treat each as a reset.
    virtual void RowsInserted(int /*first*/, int /*count*/) { RowsReset(); }
    virtual void RowRemoved(int /*row*/) { RowsReset(); }
    virtual void RowMoved(int /*from*/, int /*to*/) { RowsReset(); }
    // The Global Options sheet changed the run options ("DisableClose").
    virtual void OptionsApplied() {}
    virtual void StateChanged() = 0;   // buttons, level, tip, selection
    virtual void ScheduleChanged() {}  // clock, countdowns, timers switch
    // A pass has made `row` the selected row: show it at once.
    virtual void RowVisited(int row) { RowChanged(row); }
    // A test of the entry at `row` has ended and its row shows the outcome.
    virtual void RowTested(int /*row*/) {}
    // A pass has ended and the overall level and tool tip are recomputed:
    // the state is complete until the next pass starts.
    virtual void PassEnded() {}
    virtual void TrayIconChanged(bool shown) = 0;
    virtual void CloseRequested() = 0;  // the program must close
};

struct MonitorModel {
    EntryCollection entries;
    RowList rows;  // by row, as the window shows them
    ServiceItem workingEntry;
    ServiceItem newEntryTemplate;
    GlobalSettings settings;
    EngineObserver* observer = nullptr;

    RowView& Row(int row) { return rows[static_cast<std::size_t>(row)]; }
    const RowView& Row(int row) const { return rows[static_cast<std::size_t>(row)]; }
    ListOrder Order() { return ListOrder(entries, rows); }
    // Copies the entry at `row` into the working entry, with the global alert
    // halves standing in where the entry asks for them (unless `ownAlerts`).
    void LoadWorkingEntry(int row, bool ownAlerts);
    // One row per entry, each as yet untested.
    void BuildRows();

    // The observer's calls, where there is one.
    void RowChanged(int row) {
        if (observer) observer->RowChanged(row);
    }
    void StateChanged() {
        if (observer) observer->StateChanged();
    }
};

}  // namespace tarnwatch

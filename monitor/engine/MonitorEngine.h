// The monitor's controller without any user interface: it owns the entry
// collection, the global settings, the list rows as plain data and the main
// window's state, and runs start-up and shutdown. The shell renders what it
// holds and forwards the user's commands to it.
#pragma once

#include <string>
#include <vector>

#include "engine/EntryCollection.h"
#include "engine/ListFile.h"
#include "engine/Ports.h"
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
    virtual void StateChanged() = 0;       // buttons, level, tip, selection
    virtual void TrayIconChanged(bool shown) = 0;
    virtual void CloseRequested() = 0;  // the program must close
};

struct ButtonStates {
    bool add = false;
    bool remove = false;
    bool edit = false;
    bool update = false;
    bool moveUp = false;
    bool moveDown = false;
};

class MonitorEngine final : public TimerSink {
public:
    MonitorEngine(const Ports& ports, SettingsStore* store);
    ~MonitorEngine() override;
    MonitorEngine(const MonitorEngine&) = delete;
    MonitorEngine& operator=(const MonitorEngine&) = delete;

    void SetObserver(EngineObserver* observer) { observer_ = observer; }

    // The start-up of the main window, after its widgets exist: settings,
    // list file, notification icon, hide timer.
    void Initialise();
    // The shutdown: timers stop, the settings and the list are written, the
    // collection is freed. `columnPositions`/`columnWidths` are what the list
    // shows now. Runs once; later calls do nothing.
    void Shutdown(const std::array<std::int32_t, kColumnCount>& columnPositions,
                  const std::array<std::int32_t, kColumnCount>& columnWidths);
    // Cancel or Esc: stops any sound; true only once the shutdown has run,
    // which is the one case in which the window may end.
    bool OnCancel();

    void OnTimer(int id) override;

    // Copies the entry at `row` into the working entry, with the global alert
    // halves standing in where the entry asks for them (unless `ownAlerts`).
    void LoadWorkingEntry(int row, bool ownAlerts);

    const std::vector<RowView>& Rows() const { return rows_; }
    const EntryCollection& Entries() const { return entries_; }
    EntryCollection& Entries() { return entries_; }
    const ServiceItem& WorkingEntry() const { return workingEntry_; }
    const ServiceItem& NewEntry() const { return newEntryTemplate_; }
    const GlobalSettings& Settings() const { return settings_; }
    GlobalSettings& Settings() { return settings_; }
    const ButtonStates& Buttons() const { return buttons_; }
    int OverallLevel() const { return overallLevel_; }
    const std::string& ToolTip() const { return toolTip_; }
    bool IsClosing() const { return closing_; }
    bool ShutdownDone() const { return shutdownDone_; }
    const LoadReport& LastLoad() const { return lastLoad_; }
    int UpdateTickSeconds() const { return updateTickSeconds_; }

private:
    void BuildRowsFromEntries();
    void SetRowButtons(bool enabled);

    Ports ports_;
    SettingsStore* store_;
    EngineObserver* observer_ = nullptr;

    ServiceItem newEntryTemplate_;
    ServiceItem workingEntry_;
    GlobalSettings settings_;
    EntryCollection entries_;
    std::vector<RowView> rows_;
    ButtonStates buttons_;
    LoadReport lastLoad_;
    int overallLevel_ = kLevelWarning;
    int updateTickSeconds_ = 2;
    std::string toolTip_;
    bool initialised_ = false;
    bool closing_ = false;
    bool shutdownDone_ = false;
};

}  // namespace tarnwatch

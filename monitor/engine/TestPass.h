// The test pass: each row of the pass is selected, its entry tested by its
// source kind, the outcome moves the entry's state and row, and the alert
// actions fire on the transitions that call for them. Afterwards the overall
// level and the tool tip are recomputed.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/AlertActions.h"
#include "engine/EntryProbe.h"
#include "engine/InternetGate.h"
#include "engine/MonitorModel.h"
#include "engine/Ports.h"
#include "engine/ProbeAhead.h"
#include "engine/Scheduler.h"

namespace tarnwatch {

// What the pass asks of the desk around an entry's outcome: its snooze, its
// notification, since when it is down, and the note of its new status.
class PassDesk {
public:
    virtual ~PassDesk() = default;
    virtual void NotifyEntry(int row, const std::string& status) = 0;
    virtual bool EntrySnoozed(int row) const = 0;
    virtual void EndSnoozeAtRecovery(int row) = 0;
    virtual std::int64_t DownSeconds(int row) const = 0;
    // The entry of record slot `slot` was tested: `state` and `text` now.
    virtual void NoteTested(int slot, std::int32_t state, const std::string& text) = 0;
};

class TestPass {
public:
    // `closeRequested` or `asleep` ends a pass after the row in progress,
    // which is then neither judged nor alerted.
    TestPass(const Ports& ports, MonitorModel& model, AlertActions& alerts, InternetGate& gate,
             const bool& closeRequested, const bool& asleep);
    void SetDesk(PassDesk* desk) { desk_ = desk; }
    TestPass(const TestPass&) = delete;
    TestPass& operator=(const TestPass&) = delete;

    // Tests the rows of the pass: `row` alone, or every row for -1. Only
    // entries of the pass's class take part.
    void Run(int row);
    bool Running() const { return running_; }
    int PassClass() const { return passClass_; }
    void SetPassClass(int cls) { passClass_ = cls; }

    // How many entries a pass may test at once: `width` from the command
    // line wins over the profile's "ParallelTests"; 0 leaves it to the
    // profile. A width of 1 is the sequential pass.
    void SetWidthOverride(int width) { widthOverride_ = width; }
    int Width() const;

    // A close asked for: the wait of the agent conversation in progress ends.
    void CutWaitShort();
    // kTimerNetworkTimeout: the agent did not answer in time.
    void OnNetworkTimeout();

    int OverallLevel() const { return overallLevel_; }
    const std::string& ToolTip() const { return toolTip_; }
    // How long the last test of the entry at `row` took, in microseconds;
    // -1 while it has not been tested since the list was loaded.
    std::int64_t LastTestDurationUs(int row) const;
    // A new list: no entry has been tested yet.
    void ForgetDurations() { testDurationUs_.clear(); }
    // The last pass that ended: its length in microseconds (-1 before the
    // first) and the wall-clock time of its end.
    std::int64_t LastPassDurationUs() const { return lastPassDurationUs_; }
    std::int64_t LastPassEndTime() const { return lastPassEndTime_; }

private:
    // The probes of a parallel pass, started ahead of the rows in the order
    // the pass visits them, at most Width() at once.
    class Lookahead {
    public:
        Lookahead(TestPass& pass, int first, int end);
        // The next entry of the pass is visited: its probe's ticket, or -1
        // for an entry that is not tested. Tops up the probes in flight.
        int Visit();
        // The probe's outcome, serving the pump meanwhile; empty once a
        // close has stopped every probe.
        ProbeOutcome Wait(int ticket);
        // The gate kept the entry from its test: the outcome is not wanted.
        void Drop(int ticket);

    private:
        void Fill();
        static constexpr int kPumpEveryMs = 10;
        TestPass& pass_;
        ProbeAhead probes_;
        const int width_;
        std::vector<std::int32_t> slots_;  // record slots, in visiting order
        std::size_t launched_ = 0;         // slots looked at so far
        std::deque<int> tickets_;          // of the looked-at slots not yet visited
        int inFlight_ = 0;                 // probes started and not yet taken
    };
    enum class GateSeen { kNot, kUp, kDown };

    bool InClass(const ServiceItem& e) const;
    // In the pass's class and enabled.
    bool TakesPart(const ServiceItem& e) const;
    // A test begins: the attempt counts up (from 1 again after a success,
    // and always for a process check) and the test time is taken.
    void StartAttempt(ServiceItem& record, ServiceItem& working) const;
    // Whether the Internet gate lets a gated entry be tested.
    bool GateOpen(const CommandMacros& macros);
    void EvaluateSuccess(int row, const std::string& text);
    // Returns the row image the failure leaves.
    int EvaluateFailure(int row, const std::string& text);
    void ShowRow(int row, int image, const std::string& status);
    void SetStatusCell(int row, const std::string& status);
    void RecomputeOverallLevel();
    void RaiseOverallLevel(int image);
    void NoteTestDuration(int row, std::int64_t microseconds);

    // The alerts of an entry's failure or recovery, on the working entry's
    // effective settings.
    void FailureAlerts(std::int32_t classBit, int row);
    void OkAgainActions(int row);
    CommandMacros RowMacros(int row) const;
    // True when the entry left the pass's rows (moved to the end).
    bool MoveFailedToEnd(int row, int image);
    void DisableFailed(int row);

    const Ports& ports_;
    MonitorModel& model_;
    EntryCollection& entries_;
    ServiceItem& working_;
    AlertActions& alerts_;
    InternetGate& gate_;
    const bool& closeRequested_;
    const bool& asleep_;
    PassDesk* desk_ = nullptr;
    // A close or a sleep: the pass ends, judging nothing more.
    bool Cut() const { return closeRequested_ || asleep_; }

    bool running_ = false;
    int passClass_ = kPassAll;
    int widthOverride_ = 0;
    EntryProbe* probe_ = nullptr;  // the sequential pass's probe in progress
    GateSeen gateSeen_ = GateSeen::kNot;
    // By record slot, which an entry keeps wherever its row moves; kept
    // beside the records because their layout is the list file's.
    std::vector<std::int64_t> testDurationUs_;
    std::int64_t lastPassDurationUs_ = -1;
    std::int64_t lastPassEndTime_ = 0;
    int overallLevel_ = kLevelWarning;
    std::string toolTip_;
};

}  // namespace tarnwatch

// The test pass: each row of the pass is selected, its entry tested by its
// source kind, the outcome moves the entry's state and row, and the alert
// actions fire on the transitions that call for them. Afterwards the overall
// level and the tool tip are recomputed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/AlertActions.h"
#include "engine/InternetGate.h"
#include "engine/MonitorModel.h"
#include "engine/Ports.h"
#include "engine/Scheduler.h"

namespace tarnwatch {

class CClientThread;

class TestPass {
public:
    // `closeRequested` ends a pass after the row in progress, which is then
    // neither judged nor alerted.
    TestPass(const Ports& ports, MonitorModel& model, AlertActions& alerts, InternetGate& gate,
             const bool& closeRequested);
    TestPass(const TestPass&) = delete;
    TestPass& operator=(const TestPass&) = delete;

    // Tests the rows of the pass: `row` alone, or every row for -1. Only
    // entries of the pass's class take part.
    void Run(int row);
    bool Running() const { return running_; }
    int PassClass() const { return passClass_; }
    void SetPassClass(int cls) { passClass_ = cls; }

    // A close asked for: the wait of the agent conversation in progress ends.
    void CutWaitShort();
    // kTimerNetworkTimeout: the agent did not answer in time.
    void OnNetworkTimeout();

    int OverallLevel() const { return overallLevel_; }
    const std::string& ToolTip() const { return toolTip_; }
    // How long the last test of the entry at `row` took, in microseconds;
    // -1 while it has not been tested since the list was loaded.
    std::int64_t LastTestDurationUs(int row) const;
    // The last pass that ended: its length in microseconds (-1 before the
    // first) and the wall-clock time of its end.
    std::int64_t LastPassDurationUs() const { return lastPassDurationUs_; }
    std::int64_t LastPassEndTime() const { return lastPassEndTime_; }

private:
    // The outcome of one entry's test.
    struct Outcome {
        bool success = false;
        std::string text;
    };
    Outcome TestEntry(int row);
    Outcome TestTcp();
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

    bool running_ = false;
    int passClass_ = kPassAll;
    CClientThread* clientThread_ = nullptr;
    bool networkTimeoutSeen_ = false;
    // By record slot, which an entry keeps wherever its row moves; kept
    // beside the records because their layout is the list file's.
    std::vector<std::int64_t> testDurationUs_;
    std::int64_t lastPassDurationUs_ = -1;
    std::int64_t lastPassEndTime_ = 0;
    int overallLevel_ = kLevelWarning;
    std::string toolTip_;
};

}  // namespace tarnwatch

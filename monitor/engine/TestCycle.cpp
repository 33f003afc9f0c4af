// The test pass: each row of the pass is selected, its entry tested by its
// source kind, the outcome moves the entry's state and row, and the alert
// actions fire on the transitions that call for them. Afterwards the overall
// level and the tool tip are recomputed.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "engine/EntryCommand.h"
#include "engine/MonitorEngine.h"
#include "engine/ProbeClient.h"
#include "engine/PumpedPing.h"
#include "quillongen/probes.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

std::int32_t UpdatedState(std::int32_t state, std::int32_t bit) {
    return (state & kStateKeepMask) | bit;
}

// The leading integer of a stored number text, as atoi reads it, but held to
// the int range instead of overflowing; no digits give 0.
int LeadingInt(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

int TimeoutSeconds(const ServiceItem& e) {
    return LeadingInt(e.timeoutText);
}

bool Is(const std::string& text, int id) {
    return text == LoadString(id);
}

}  // namespace

void MonitorEngine::OnUpdate() {
    if (Busy() || shutdownDone_) return;
    PauseSchedule();
    if (ports_.waitCursor) ports_.waitCursor->Begin();
    passClass_ = kPassAll;
    RunTestPass(entries_.selectedRow);
    if (ports_.waitCursor) ports_.waitCursor->End();
    ResumeSchedule();
}

void MonitorEngine::OnUpdateAll() {
    if (Busy() || shutdownDone_) return;
    PauseSchedule();
    if (ports_.waitCursor) ports_.waitCursor->Begin();
    if (classFromTimer_) passClass_ = kPassAll;
    RunTestPass(-1);
    if (ports_.waitCursor) ports_.waitCursor->End();
    ResumeSchedule();
}

// The row image (the disabled one for a disabled entry), the check box and
// the Status cell; the other cells do not change during a test.
void MonitorEngine::ShowRow(int row, int image, const std::string& status) {
    RowView& view = rows_[static_cast<std::size_t>(row)];
    view.image = EffectiveRowImage(workingEntry_, image);
    view.checked = workingEntry_.enabled != 0;
    SetStatusCell(row, status);
}

void MonitorEngine::SetStatusCell(int row, const std::string& status) {
    RowView& view = rows_[static_cast<std::size_t>(row)];
    view.cells[kColStatus] = workingEntry_.enabled ? (Is(status, IDS_DISABLED) ? " " : status)
                                                   : LoadString(IDS_DISABLED);
    if (observer_) observer_->RowChanged(row);
}

void MonitorEngine::RunTestPass(int row) {
    if (row < -1 || row >= entries_.rowCount) return;
    int r = row == -1 ? 0 : row;
    int end = row == -1 ? entries_.rowCount : row + 1;
    const std::int64_t passStartUs = ports_.clock->MonotonicUs();
    inPass_ = true;
    while (r < end && !PassCut()) {
        entries_.selectedRow = r;
        if (observer_) observer_->RowVisited(r);
        LoadWorkingEntry(r, false);
        ServiceItem& record = entries_.RecordAtRow(r);

        if (passClass_ != kPassAll && passClass_ != workingEntry_.frequency) {
            ++r;
            continue;
        }
        const int networkImage =
            IsNetworkKind(workingEntry_.sourceKind) ? kImageNetwork : kImageLocal;
        if (!workingEntry_.enabled) {
            ShowRow(r, networkImage, LoadString(IDS_DISABLED));
            ++r;
            continue;
        }
        if (IsNetworkKind(workingEntry_.sourceKind) && workingEntry_.checkInternet &&
            !gate_.Check(RowMacros(r))) {
            ++r;
            continue;
        }
        // What a test cut short by a close must leave as it found it.
        const RowView rowBefore = rows_[static_cast<std::size_t>(r)];
        const std::int32_t attemptBefore = record.attempt;
        const std::int32_t lastTestBefore = record.lastTestTime;
        SetStatusCell(r, LoadString(IDS_CONNECTING));

        if ((record.state & kStateAvailable) || workingEntry_.sourceKind == kSourceProcessName) {
            record.attempt = 0;
        }
        ++record.attempt;
        record.lastTestTime = static_cast<std::int32_t>(ports_.clock->Now());
        workingEntry_.attempt = record.attempt;
        workingEntry_.lastTestTime = record.lastTestTime;
        rows_[static_cast<std::size_t>(r)].cells[kColAttempt] = AttemptText(workingEntry_);
        if (observer_) observer_->RowChanged(r);

        const std::int64_t testStartUs = ports_.clock->MonotonicUs();
        const TestOutcome outcome = RunEntryTest(r);
        if (PassCut()) {
            // A close or a sleep ended the wait: that is no result, so the
            // entry is neither judged nor moved and no alert runs.
            record.attempt = attemptBefore;
            record.lastTestTime = lastTestBefore;
            rows_[static_cast<std::size_t>(r)] = rowBefore;
            if (observer_) observer_->RowChanged(r);
            break;
        }
        NoteTestDuration(r, ports_.clock->MonotonicUs() - testStartUs);
        const int slot = entries_.order[static_cast<std::size_t>(r)];
        bool moved = false;
        if (outcome.success) {
            EvaluateSuccess(r, outcome.text);
        } else {
            const int image = EvaluateFailure(r, outcome.text);
            moved = MoveFailedToEnd(r, image);
            if (!moved) DisableFailed(r);
        }
        history_.Note(slot, record.state, outcome.text, ports_.clock->Now());
        if (observer_) observer_->RowTested(moved ? entries_.rowCount - 1 : r);
        if (moved) {
            // The next entry moved up into this row; the moved one is not
            // tested again in this pass.
            --end;
        } else {
            ++r;
        }
    }
    inPass_ = false;
    RecomputeOverallLevel();
    lastPassDurationUs_ = ports_.clock->MonotonicUs() - passStartUs;
    lastPassEndTime_ = ports_.clock->Now();
    if (observer_) observer_->PassEnded();
}

void MonitorEngine::NoteTestDuration(int row, std::int64_t microseconds) {
    const auto slot = static_cast<std::size_t>(entries_.order[static_cast<std::size_t>(row)]);
    if (testDurationUs_.size() <= slot) testDurationUs_.resize(slot + 1, -1);
    testDurationUs_[slot] = std::max<std::int64_t>(0, microseconds);
}

std::int64_t MonitorEngine::LastTestDurationUs(int row) const {
    if (!entries_.IsRow(row)) return -1;
    const auto slot = static_cast<std::size_t>(entries_.order[static_cast<std::size_t>(row)]);
    return slot < testDurationUs_.size() ? testDurationUs_[slot] : -1;
}

MonitorEngine::TestOutcome MonitorEngine::RunEntryTest(int row) {
    TestOutcome out;
    const int timeout = TimeoutSeconds(workingEntry_);
    switch (workingEntry_.sourceKind) {
        case kSourceTcpPort:
            return RunTcpTest();
        case kSourceProcessName: {
            const int count = isWindows9x_ ? CheckTaskList95(workingEntry_.source)
                                           : CheckTaskList(workingEntry_.source);
            out.success = count >= 1;
            out.text = LoadString(out.success ? IDS_RUNNING : IDS_NOTRUNNING);
            return out;
        }
        case kSourceProgram: {
            const int result = RunEntryCommand(workingEntry_.source, RowMacros(row), 1, ports_.pump,
                                               timeout > 0 ? timeout : 0);
            out.success = result == kRunOk;
            out.text = LoadString(result == kRunOk            ? IDS_SUCCEEDED
                                  : result == kRunNonZeroExit ? IDS_FAILED
                                  : result == kRunTimedOut    ? IDS_TIMEDOUT
                                                              : IDS_UNRESOLVED);
            return out;
        }
        case kSourceNone: {
            const int result = PumpedPing(workingEntry_.address, timeout, ports_.pump);
            out.success = result == 1;
            out.text = LoadString(result == 1    ? IDS_OK
                                  : result == -1 ? IDS_TIMEDOUT
                                                 : IDS_UNRESOLVED);
            return out;
        }
        default:
            // A kind this program does not know: a failure of no class.
            out.text = LoadString(IDS_ERROR);
            return out;
    }
}

MonitorEngine::TestOutcome MonitorEngine::RunTcpTest() {
    TestOutcome out;
    auto client = std::make_unique<CClientThread>(ports_);
    clientThread_ = client.get();
    const int timeout = TimeoutSeconds(workingEntry_);
    networkTimeoutSeen_ = 0;
    if (!client->Connect(LeadingInt(workingEntry_.source), workingEntry_.address, timeout)) {
        out.text = client->status();
    } else if (workingEntry_.serviceTest == kServiceTestVorlan && workingEntry_.verifyService) {
        const int row = entries_.selectedRow;
        SetStatusCell(row, LoadString(IDS_ACKNOWLEDGING));
        networkTimeoutSeen_ = 0;
        client->SendRequest(LoadString(IDS_PROTO_HELLO));
        if (networkTimeoutSeen_ || client->cancelled()) {
            out.text = client->status();
        } else {
            SetStatusCell(row, LoadString(IDS_RECEIVING));
            networkTimeoutSeen_ = 0;
            client->SendRequest(LoadString(IDS_PROTO_VORLAN));
            if (networkTimeoutSeen_ || client->cancelled()) {
                out.text = LoadString(IDS_TIMEDOUT);
            } else {
                out.success = true;
                out.text = client->status();
            }
        }
        client->Disconnect();
    } else {
        out.success = true;
        out.text = LoadString(IDS_OK);
        client->Disconnect();
    }
    clientThread_ = nullptr;
    if (ports_.timers) ports_.timers->KillTimer(kTimerNetworkTimeout);
    return out;
}

void MonitorEngine::EvaluateSuccess(int row, const std::string& text) {
    ServiceItem& record = entries_.RecordAtRow(row);
    if (!(record.state & (kStateAvailable | kStateUntested | kStateRetrying))) OkAgainActions(row);
    record.state = UpdatedState(record.state, kStateAvailable);
    ShowRow(row, IsNetworkKind(workingEntry_.sourceKind) ? kImageNetwork : kImageLocal, text);
}

int MonitorEngine::EvaluateFailure(int row, const std::string& text) {
    ServiceItem& record = entries_.RecordAtRow(row);
    const std::int32_t kind = workingEntry_.sourceKind;
    SetStatusCell(row, text);
    if (record.state & kStateUntested) record.state = UpdatedState(record.state, kStateAvailable);
    int image = IsNetworkKind(kind) ? kImageNetwork : kImageLocal;

    std::int32_t classBit = 0;
    int exhaustedImage = 0;
    const bool classedKind =
        kind == kSourceTcpPort || kind == kSourceProgram || kind == kSourceNone;
    if (Is(text, IDS_TIMEDOUT) && classedKind) {
        classBit = kStateTimedOut, exhaustedImage = kImageWarning;
    } else if (Is(text, IDS_UNAVAILABLE) || Is(text, IDS_NOTRUNNING) || Is(text, IDS_FAILED)) {
        classBit = kStateUnavailable, exhaustedImage = kImageError;
    } else if (Is(text, IDS_UNRESOLVED) && classedKind) {
        classBit = kStateUnresolved, exhaustedImage = kImageInformation;
    }
    if (classBit) {
        if (record.attempt < record.attempts) {
            record.state = UpdatedState(record.state, kStateRetrying);
            image = kImageWarning;
        } else {
            image = exhaustedImage;
            workingEntry_.state = record.state;
            FailureAlerts(classBit, row);
            record.state = UpdatedState(record.state, classBit);
        }
    }
    workingEntry_.state = record.state;
    const std::string shown = (record.state & kStateAlerted) ? LoadString(IDS_ALERTED) : text;
    ShowRow(row, image, shown);
    RaiseOverallLevel(image);
    return image;
}

void MonitorEngine::RaiseOverallLevel(int image) {
    if (image > overallLevel_ && image <= kLevelError) {
        overallLevel_ = image;
        if (observer_) observer_->StateChanged();
    }
}

void MonitorEngine::RecomputeOverallLevel() {
    int level = kLevelOk;
    for (int r = 0; r < entries_.rowCount; ++r) {
        const ServiceItem& e = entries_.RecordAtRow(r);
        if (!e.enabled) continue;
        if (e.state & kStateUnavailable) {
            level = kLevelError;
            break;
        }
        if (e.state & kStateUnresolved)
            level = std::max(level, static_cast<int>(kLevelInformation));
        if (e.state & (kStateTimedOut | kStateUntested | kStateRetrying)) {
            level = std::max(level, static_cast<int>(kLevelWarning));
        }
    }
    overallLevel_ = level;
    static constexpr int kLevelWords[] = {IDS_LEVEL_OK, IDS_LEVEL_WARNING, IDS_LEVEL_INFORMATION,
                                          IDS_LEVEL_ERROR};
    toolTip_ = std::string(LoadString(IDS_TIP)) + LoadString(IDS_STATUS_PREFIX) +
               LoadString(kLevelWords[level - kLevelOk]);
    if (observer_) observer_->StateChanged();
}

}  // namespace tarnwatch

// The test pass, and what an entry's failure or recovery does beyond its
// row: sounds and commands through the alert actions (on the working entry's
// effective settings, never the record's own), and moving or disabling
// failed entries.
#include "engine/TestPass.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "engine/EntryCommand.h"
#include "engine/ProbeClient.h"
#include "engine/PumpedPing.h"
#include "engine/ServiceItem.h"
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

// The process-list probe of the older platform family is never the one on
// this system.
constexpr bool kOlderProcessProbe = false;

}  // namespace

TestPass::TestPass(const Ports& ports, MonitorModel& model, AlertActions& alerts,
                   InternetGate& gate, const bool& closeRequested)
    : ports_(ports),
      model_(model),
      entries_(model.entries),
      working_(model.workingEntry),
      alerts_(alerts),
      gate_(gate),
      closeRequested_(closeRequested),
      toolTip_(LoadString(IDS_TIP)) {}

void TestPass::CutWaitShort() {
    if (clientThread_) clientThread_->OnTimeout();
}

void TestPass::OnNetworkTimeout() {
    networkTimeoutSeen_ = true;
    if (clientThread_) clientThread_->OnTimeout();
}

// The row image (the disabled one for a disabled entry), the check box and
// the Status cell; the other cells do not change during a test.
void TestPass::ShowRow(int row, int image, const std::string& status) {
    RowView& view = model_.Row(row);
    view.image = EffectiveRowImage(working_, image);
    view.checked = working_.enabled != 0;
    SetStatusCell(row, status);
}

void TestPass::SetStatusCell(int row, const std::string& status) {
    RowView& view = model_.Row(row);
    view.cells[kColStatus] =
        working_.enabled ? (Is(status, IDS_DISABLED) ? " " : status) : LoadString(IDS_DISABLED);
    model_.RowChanged(row);
}

void TestPass::Run(int row) {
    if (row < -1 || row >= entries_.rowCount) return;
    int r = row == -1 ? 0 : row;
    int end = row == -1 ? entries_.rowCount : row + 1;
    const std::int64_t passStartUs = ports_.clock->MonotonicUs();
    running_ = true;
    while (r < end && !closeRequested_) {
        entries_.selectedRow = r;
        if (model_.observer) model_.observer->RowVisited(r);
        model_.LoadWorkingEntry(r, false);
        ServiceItem& record = entries_.RecordAtRow(r);

        if (passClass_ != kPassAll && passClass_ != working_.frequency) {
            ++r;
            continue;
        }
        const int networkImage = IsNetworkKind(working_.sourceKind) ? kImageNetwork : kImageLocal;
        if (!working_.enabled) {
            ShowRow(r, networkImage, LoadString(IDS_DISABLED));
            ++r;
            continue;
        }
        if (IsNetworkKind(working_.sourceKind) && working_.checkInternet &&
            !gate_.Check(RowMacros(r))) {
            ++r;
            continue;
        }
        // What a test cut short by a close must leave as it found it.
        const RowView rowBefore = model_.Row(r);
        const std::int32_t attemptBefore = record.attempt;
        const std::int32_t lastTestBefore = record.lastTestTime;
        SetStatusCell(r, LoadString(IDS_CONNECTING));

        if ((record.state & kStateAvailable) || working_.sourceKind == kSourceProcessName) {
            record.attempt = 0;
        }
        ++record.attempt;
        record.lastTestTime = static_cast<std::int32_t>(ports_.clock->Now());
        working_.attempt = record.attempt;
        working_.lastTestTime = record.lastTestTime;
        model_.Row(r).cells[kColAttempt] = AttemptText(working_);
        model_.RowChanged(r);

        const std::int64_t testStartUs = ports_.clock->MonotonicUs();
        const Outcome outcome = TestEntry(r);
        if (closeRequested_) {
            // The close ended the wait: that is no result, so the entry is
            // neither judged nor moved and no alert runs.
            record.attempt = attemptBefore;
            record.lastTestTime = lastTestBefore;
            model_.Row(r) = rowBefore;
            model_.RowChanged(r);
            break;
        }
        NoteTestDuration(r, ports_.clock->MonotonicUs() - testStartUs);
        bool moved = false;
        if (outcome.success) {
            EvaluateSuccess(r, outcome.text);
        } else {
            const int image = EvaluateFailure(r, outcome.text);
            moved = MoveFailedToEnd(r, image);
            if (!moved) DisableFailed(r);
        }
        if (model_.observer) model_.observer->RowTested(moved ? entries_.rowCount - 1 : r);
        if (moved) {
            // The next entry moved up into this row; the moved one is not
            // tested again in this pass.
            --end;
        } else {
            ++r;
        }
    }
    running_ = false;
    RecomputeOverallLevel();
    lastPassDurationUs_ = ports_.clock->MonotonicUs() - passStartUs;
    lastPassEndTime_ = ports_.clock->Now();
    if (model_.observer) model_.observer->PassEnded();
}

void TestPass::NoteTestDuration(int row, std::int64_t microseconds) {
    const auto slot = static_cast<std::size_t>(entries_.order[static_cast<std::size_t>(row)]);
    if (testDurationUs_.size() <= slot) testDurationUs_.resize(slot + 1, -1);
    testDurationUs_[slot] = std::max<std::int64_t>(0, microseconds);
}

std::int64_t TestPass::LastTestDurationUs(int row) const {
    if (!entries_.IsRow(row)) return -1;
    const auto slot = static_cast<std::size_t>(entries_.order[static_cast<std::size_t>(row)]);
    return slot < testDurationUs_.size() ? testDurationUs_[slot] : -1;
}

TestPass::Outcome TestPass::TestEntry(int row) {
    Outcome out;
    const int timeout = TimeoutSeconds(working_);
    switch (working_.sourceKind) {
        case kSourceTcpPort:
            return TestTcp();
        case kSourceProcessName: {
            const int count = kOlderProcessProbe ? CheckTaskList95(working_.source)
                                                 : CheckTaskList(working_.source);
            out.success = count >= 1;
            out.text = LoadString(out.success ? IDS_RUNNING : IDS_NOTRUNNING);
            return out;
        }
        case kSourceProgram: {
            const int result = RunEntryCommand(working_.source, RowMacros(row), 1, ports_.pump,
                                               timeout > 0 ? timeout : 0);
            out.success = result == kRunOk;
            out.text = LoadString(result == kRunOk            ? IDS_SUCCEEDED
                                  : result == kRunNonZeroExit ? IDS_FAILED
                                  : result == kRunTimedOut    ? IDS_TIMEDOUT
                                                              : IDS_UNRESOLVED);
            return out;
        }
        case kSourceNone: {
            const int result = PumpedPing(working_.address, timeout, ports_.pump);
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

TestPass::Outcome TestPass::TestTcp() {
    Outcome out;
    auto client = std::make_unique<CClientThread>(ports_);
    clientThread_ = client.get();
    const int timeout = TimeoutSeconds(working_);
    networkTimeoutSeen_ = false;
    if (!client->Connect(LeadingInt(working_.source), working_.address, timeout)) {
        out.text = client->status();
    } else if (working_.serviceTest == kServiceTestVorlan && working_.verifyService) {
        const int row = entries_.selectedRow;
        SetStatusCell(row, LoadString(IDS_ACKNOWLEDGING));
        networkTimeoutSeen_ = false;
        client->SendRequest(LoadString(IDS_PROTO_HELLO));
        if (networkTimeoutSeen_ || client->cancelled()) {
            out.text = client->status();
        } else {
            SetStatusCell(row, LoadString(IDS_RECEIVING));
            networkTimeoutSeen_ = false;
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

void TestPass::EvaluateSuccess(int row, const std::string& text) {
    ServiceItem& record = entries_.RecordAtRow(row);
    if (!(record.state & (kStateAvailable | kStateUntested | kStateRetrying))) OkAgainActions(row);
    record.state = UpdatedState(record.state, kStateAvailable);
    ShowRow(row, IsNetworkKind(working_.sourceKind) ? kImageNetwork : kImageLocal, text);
}

int TestPass::EvaluateFailure(int row, const std::string& text) {
    ServiceItem& record = entries_.RecordAtRow(row);
    const std::int32_t kind = working_.sourceKind;
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
            working_.state = record.state;
            FailureAlerts(classBit, row);
            record.state = UpdatedState(record.state, classBit);
        }
    }
    working_.state = record.state;
    const std::string shown = (record.state & kStateAlerted) ? LoadString(IDS_ALERTED) : text;
    ShowRow(row, image, shown);
    RaiseOverallLevel(image);
    return image;
}

void TestPass::RaiseOverallLevel(int image) {
    if (image > overallLevel_ && image <= kLevelError) {
        overallLevel_ = image;
        model_.StateChanged();
    }
}

void TestPass::RecomputeOverallLevel() {
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
    model_.StateChanged();
}

CommandMacros TestPass::RowMacros(int row) const {
    return MacrosFor(working_, model_.Row(row).cells[kColStatus].c_str());
}

void TestPass::FailureAlerts(std::int32_t classBit, int row) {
    const AlertBlock& a = working_.alerts;
    const bool repeated = (working_.state & classBit) != 0;
    if (SoundEnabledFor(a.sound, classBit)) alerts_.FailureSound(a.sound, repeated);
    // The unavailable enable gates the failure command of every class.
    if (!a.batch.batchOnUnavailable || !alerts_.FailureCommand(a.batch, repeated, RowMacros(row))) {
        return;
    }
    ServiceItem& record = entries_.RecordAtRow(row);
    record.state |= kStateAlerted;
    working_.state = record.state;
    SetStatusCell(row, LoadString(IDS_ALERTED));
}

void TestPass::OkAgainActions(int row) {
    const AlertBlock& a = working_.alerts;
    alerts_.StopFailureLoop(a.sound);
    alerts_.OkAgainSound(a.sound);
    if (alerts_.OkAgainCommand(a.batch, RowMacros(row))) {
        ServiceItem& record = entries_.RecordAtRow(row);
        record.state &= ~kStateAlerted;
        working_.state = record.state;
    }
}

bool TestPass::MoveFailedToEnd(int row, int image) {
    if (!model_.settings.autoMove) return false;
    ServiceItem& record = entries_.RecordAtRow(row);
    if (model_.settings.autoDisable) {
        record.enabled = 0;
        working_.enabled = 0;
    }
    const std::string status = model_.Row(row).cells[kColStatus];
    const int last = entries_.rowCount - 1;
    model_.Order().MoveToEnd(row);
    model_.Row(last) = MakeRowView(working_, image, status);
    entries_.selectedRow = last;
    if (model_.observer) model_.observer->RowMoved(row, last);
    return true;
}

void TestPass::DisableFailed(int row) {
    if (!model_.settings.autoDisable || model_.settings.autoMove) return;
    ServiceItem& record = entries_.RecordAtRow(row);
    record.enabled = 0;
    working_.enabled = 0;
    ShowRow(row, model_.Row(row).image, LoadString(IDS_DISABLED));
}

}  // namespace tarnwatch

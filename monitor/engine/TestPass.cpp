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

#include "engine/ProbeAhead.h"
#include "engine/PumpedPing.h"
#include "engine/ServiceItem.h"
#include "quillongen/probes.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

std::int32_t UpdatedState(std::int32_t state, std::int32_t bit) {
    return (state & kStateKeepMask) | bit;
}

bool Is(const std::string& text, int id) {
    return text == LoadString(id);
}

}  // namespace

TestPass::TestPass(const Ports& ports, MonitorModel& model, AlertActions& alerts,
                   InternetGate& gate, const bool& closeRequested, const bool& asleep)
    : ports_(ports),
      model_(model),
      entries_(model.entries),
      working_(model.workingEntry),
      alerts_(alerts),
      gate_(gate),
      closeRequested_(closeRequested),
      asleep_(asleep),
      toolTip_(LoadString(IDS_TIP)) {}

void TestPass::CutWaitShort() {
    if (probe_) probe_->CutWaitShort();
}

void TestPass::OnNetworkTimeout() {
    if (probe_) probe_->OnNetworkTimeout();
}

int TestPass::Width() const {
    const int width = widthOverride_ > 0 ? widthOverride_ : model_.settings.parallelTests;
    return std::clamp(width, 1, kMaxParallelTests);
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
    // Probes run ahead of the rows only where more than one may run at once.
    std::unique_ptr<Lookahead> ahead;
    if (Width() > 1) ahead = std::make_unique<Lookahead>(*this, r, end);
    gateSeen_ = GateSeen::kNot;
    while (r < end && !Cut()) {
        const int ticket = ahead ? ahead->Visit() : -1;
        entries_.selectedRow = r;
        if (model_.observer) model_.observer->RowVisited(r);
        model_.LoadWorkingEntry(r, false);
        ServiceItem& record = entries_.RecordAtRow(r);

        if (!TakesPart(working_)) {
            if (ahead) ahead->Drop(ticket);  // a probe started for it is not wanted
            if (!working_.enabled && InClass(working_)) {
                const int networkImage =
                    IsNetworkKind(working_.sourceKind) ? kImageNetwork : kImageLocal;
                ShowRow(r, networkImage, LoadString(IDS_DISABLED));
            }
            ++r;
            continue;
        }
        if (IsNetworkKind(working_.sourceKind) && working_.checkInternet &&
            !GateOpen(RowMacros(r))) {
            if (ahead) ahead->Drop(ticket);
            ++r;
            continue;
        }
        // What a test cut short by a close must leave as it found it.
        const RowView rowBefore = model_.Row(r);
        const std::int32_t attemptBefore = record.attempt;
        const std::int32_t lastTestBefore = record.lastTestTime;
        SetStatusCell(r, LoadString(IDS_CONNECTING));
        StartAttempt(record, working_);
        model_.Row(r).cells[kColAttempt] = AttemptText(working_);
        model_.RowChanged(r);

        ProbeOutcome outcome;
        if (ahead && ticket >= 0) {
            outcome = ahead->Wait(ticket);
        } else {
            const std::int64_t testStartUs = ports_.clock->MonotonicUs();
            EntryProbe probe(ports_);
            probe_ = &probe;
            outcome = probe.Run(MakeProbeRequest(working_, RowMacros(r)),
                                [this, r](StringId id) { SetStatusCell(r, LoadString(id)); });
            probe_ = nullptr;
            outcome.durationUs = ports_.clock->MonotonicUs() - testStartUs;
        }
        if (Cut()) {
            // A close or a sleep ended the wait: that is no result, so the
            // entry is neither judged nor moved and no alert runs.
            record.attempt = attemptBefore;
            record.lastTestTime = lastTestBefore;
            model_.Row(r) = rowBefore;
            model_.RowChanged(r);
            break;
        }
        NoteTestDuration(r, outcome.durationUs);
        const int slot = entries_.order[static_cast<std::size_t>(r)];
        bool moved = false;
        if (outcome.success) {
            EvaluateSuccess(r, outcome.text);
        } else {
            const int image = EvaluateFailure(r, outcome.text);
            moved = MoveFailedToEnd(r, image);
            if (!moved) DisableFailed(r);
        }
        if (desk_) desk_->NoteTested(slot, record.state, outcome.text);
        if (model_.observer) model_.observer->RowTested(moved ? entries_.rowCount - 1 : r);
        if (moved) {
            // The next entry moved up into this row; the moved one is not
            // tested again in this pass.
            --end;
        } else {
            ++r;
        }
    }
    // Every probe still in flight gives up before the workers are joined.
    ahead.reset();
    running_ = false;
    RecomputeOverallLevel();
    lastPassDurationUs_ = ports_.clock->MonotonicUs() - passStartUs;
    lastPassEndTime_ = ports_.clock->Now();
    if (model_.observer) model_.observer->PassEnded();
}

bool TestPass::InClass(const ServiceItem& e) const {
    return passClass_ == kPassAll || passClass_ == e.frequency;
}

bool TestPass::TakesPart(const ServiceItem& e) const {
    return InClass(e) && e.enabled;
}

void TestPass::StartAttempt(ServiceItem& record, ServiceItem& working) const {
    if ((record.state & kStateAvailable) || working.sourceKind == kSourceProcessName) {
        record.attempt = 0;
    }
    ++record.attempt;
    record.lastTestTime = static_cast<std::int32_t>(ports_.clock->Now());
    working.attempt = record.attempt;
    working.lastTestTime = record.lastTestTime;
}

bool TestPass::GateOpen(const CommandMacros& macros) {
    if (Width() == 1) return gate_.Check(macros);
    // A parallel pass pings the gate's addresses once; every later gated
    // entry of the pass is judged on that answer, with the alerts a check
    // with the same answer gives.
    if (gateSeen_ == GateSeen::kNot) {
        const int answer = gate_.Ping();
        if (answer == kPingStopped) return false;
        gateSeen_ = answer == 1 ? GateSeen::kUp : GateSeen::kDown;
    }
    return gate_.Judge(gateSeen_ == GateSeen::kUp, macros);
}

// --- Probes ahead of the rows --------------------------------------------------

TestPass::Lookahead::Lookahead(TestPass& pass, int first, int end)
    : pass_(pass), probes_(pass.Width()), width_(pass.Width()) {
    // The entries of the pass in the order it visits them: a failed entry
    // moved to the end is not visited again, so this is their row order now.
    const EntryCollection& entries = pass.entries_;
    slots_.reserve(static_cast<std::size_t>(end - first));
    for (int r = first; r < end; ++r) slots_.push_back(entries.order[static_cast<std::size_t>(r)]);
}

void TestPass::Lookahead::Fill() {
    const EntryCollection& entries = pass_.entries_;
    while (launched_ < slots_.size() && inFlight_ < width_) {
        const std::size_t at = launched_++;
        ServiceItem e = entries.records[static_cast<std::size_t>(slots_[at])];
        tickets_.push_back(-1);
        if (!pass_.TakesPart(e)) continue;
        // The macros as the entry's test will see them: its attempt and time
        // taken, its Status cell saying it is being tested.
        ServiceItem record = e;
        pass_.StartAttempt(record, e);
        if (e.soundUseGlobal) e.alerts.sound = pass_.model_.settings.alerts.sound;
        if (e.batchUseGlobal) e.alerts.batch = pass_.model_.settings.alerts.batch;
        tickets_.back() =
            probes_.Start(MakeProbeRequest(e, MacrosFor(e, LoadString(IDS_CONNECTING))));
        ++inFlight_;
    }
}

int TestPass::Lookahead::Visit() {
    Fill();
    if (tickets_.empty()) return -1;
    const int ticket = tickets_.front();
    tickets_.pop_front();
    return ticket;
}

ProbeOutcome TestPass::Lookahead::Wait(int ticket) {
    while (!probes_.WaitFor(ticket, kPumpEveryMs)) {
        if (pass_.ports_.pump) pass_.ports_.pump->Pump();
        if (pass_.Cut()) {
            probes_.StopAll();
            return {};
        }
    }
    --inFlight_;
    return probes_.Take(ticket);
}

void TestPass::Lookahead::Drop(int ticket) {
    if (ticket < 0) return;
    --inFlight_;
    probes_.Drop(ticket);
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
    const QuietScope quiet(alerts_, desk_ && desk_->EntrySnoozed(row));
    if (!repeated && desk_) desk_->NotifyEntry(row, model_.Row(row).cells[kColStatus]);
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
    if (desk_) desk_->EndSnoozeAtRecovery(row);
    const QuietScope quiet(alerts_, desk_ && desk_->EntrySnoozed(row));
    alerts_.StopFailureLoop(a.sound);
    if (desk_) desk_->NotifyEntry(row, LoadString(IDS_NOTE_OK_AGAIN));
    alerts_.OkAgainSound(a.sound);
    CommandMacros macros = RowMacros(row);
    macros.downSeconds = desk_ ? desk_->DownSeconds(row) : -1;
    if (alerts_.OkAgainCommand(a.batch, macros)) {
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

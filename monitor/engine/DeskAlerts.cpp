// What the monitor tells the person through the desktop beyond the
// specified alerts, and what the person silences: notifications of an
// entry's failure and recovery, snoozes of entries, the pause of every
// alert, and the reminders when a snooze or the pause ends.
#include <algorithm>
#include <climits>
#include <ctime>

#include "engine/EntryKey.h"
#include "engine/MessageText.h"
#include "engine/MonitorEngine.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

constexpr std::int32_t kFailedBits = kStateUnavailable | kStateTimedOut | kStateUnresolved;
// A reminder of what is still failed when the pause ends.
constexpr const char* kPauseNoteKey = "pause";
// However far off the next end, it is looked at again within this time: the
// timers do not count the time the computer sleeps.
constexpr std::int64_t kLongestSilenceWaitMs = 60000;

// "14:03", with the date in front when `time` is not today.
std::string ClockText(std::int64_t time, std::int64_t now) {
    const std::time_t t = static_cast<std::time_t>(time);
    const std::time_t n = static_cast<std::time_t>(now);
    std::tm at{};
    std::tm today{};
    if (!localtime_r(&t, &at) || !localtime_r(&n, &today)) return "";
    const bool sameDay = at.tm_year == today.tm_year && at.tm_yday == today.tm_yday;
    char text[32] = "";
    std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%d/%m/%y %H:%M", &at);
    return text;
}

}  // namespace

void MonitorEngine::NotifyEntry(int row, const std::string& status) {
    const ServiceItem& record = model_.entries.RecordAtRow(row);
    alerts_.Notify(EntryKeyText(EntryKey(record)), EntryTitle(record), status, true);
}

std::string MonitorEngine::EntryKeyAt(int row) const {
    return model_.entries.IsRow(row) ? EntryKeyText(EntryKey(model_.entries.RecordAtRow(row))) : "";
}

std::int64_t MonitorEngine::SnoozedUntil(int row) const {
    if (!model_.entries.IsRow(row)) return 0;
    return silence_.SnoozedUntil(EntryKey(model_.entries.RecordAtRow(row)), ports_.clock->Now());
}

bool MonitorEngine::EntrySnoozed(int row) const {
    return SnoozedUntil(row) != 0;
}

void MonitorEngine::EndSnoozeAtRecovery(int row) {
    if (!silence_.Recovered(EntryKey(model_.entries.RecordAtRow(row)))) return;
    SaveSnoozes();
    SilenceChanged();
}

void MonitorEngine::SnoozeEntry(const std::string& key, std::int64_t seconds) {
    std::uint64_t k = 0;
    if (shutdownDone_ || !ParseEntryKey(key, k)) return;
    silence_.Snooze(k, seconds == kSnoozeUntilOk
                           ? kSnoozeUntilOk
                           : ports_.clock->Now() + std::max<std::int64_t>(seconds, 1));
    // A failure sound that loops is an alert that reaches the person.
    if (ports_.sound) ports_.sound->Purge();
    SaveSnoozes();
    SilenceChanged();
    CheckSilenceEnds();
}

void MonitorEngine::EndSnooze(const std::string& key) {
    std::uint64_t k = 0;
    if (shutdownDone_ || !ParseEntryKey(key, k) || !silence_.EndSnooze(k)) return;
    SaveSnoozes();
    if (!AlertsPausedNow()) RemindEntry(k);
    SilenceChanged();
    CheckSilenceEnds();
}

bool MonitorEngine::AlertsPausedNow() const {
    return AlertsPaused(model_.settings, ports_.clock->Now());
}

void MonitorEngine::PauseAlerts(std::int64_t seconds) {
    if (shutdownDone_) return;
    const std::int64_t until = ports_.clock->Now() + std::max<std::int64_t>(seconds, 1);
    model_.settings.alertsPausedUntil =
        seconds == kPausedUntilResumed
            ? kPausedUntilResumed
            : static_cast<std::int32_t>(std::min<std::int64_t>(until, INT32_MAX));
    if (ports_.sound) ports_.sound->Purge();
    // Written at once: a pause outlasts the program, also one that crashes.
    if (store_) store_->WriteListAndAlertSettings(model_.settings);
    SilenceChanged();
    CheckSilenceEnds();
}

void MonitorEngine::ResumeAlerts() {
    if (shutdownDone_ || model_.settings.alertsPausedUntil == 0) return;
    model_.settings.alertsPausedUntil = 0;
    if (store_) store_->WriteListAndAlertSettings(model_.settings);
    RemindAfterPause();
    SilenceChanged();
    CheckSilenceEnds();
}

void MonitorEngine::CheckSilenceEnds() {
    if (shutdownDone_ || !ports_.clock) return;
    const std::int64_t now = ports_.clock->Now();
    bool changed = false;
    if (model_.settings.alertsPausedUntil > 0 && model_.settings.alertsPausedUntil <= now) {
        model_.settings.alertsPausedUntil = 0;
        if (store_) store_->WriteListAndAlertSettings(model_.settings);
        RemindAfterPause();
        changed = true;
    }
    const std::vector<std::uint64_t> ended = silence_.TakeEnded(now);
    if (!ended.empty()) {
        SaveSnoozes();
        if (!AlertsPausedNow()) {
            for (std::uint64_t key : ended) RemindEntry(key);
        }
        changed = true;
    }
    if (changed) SilenceChanged();
    if (!ports_.timers) return;
    std::int64_t next = silence_.NextEnd();
    if (model_.settings.alertsPausedUntil > 0 &&
        (next == 0 || model_.settings.alertsPausedUntil < next)) {
        next = model_.settings.alertsPausedUntil;
    }
    if (next == 0) {
        ports_.timers->KillTimer(kTimerSilenceEnd);
        return;
    }
    const std::int64_t wait =
        std::clamp<std::int64_t>((next - now) * 1000, 1000, kLongestSilenceWaitMs);
    ports_.timers->SetTimer(kTimerSilenceEnd, static_cast<int>(wait));
}

void MonitorEngine::RemindEntry(std::uint64_t key) {
    for (int r = 0; r < model_.entries.rowCount; ++r) {
        const ServiceItem& record = model_.entries.RecordAtRow(r);
        if (!(record.state & kFailedBits) || EntryKey(record) != key) continue;
        alerts_.Remind(
            EntryKeyText(key), EntryTitle(record),
            FormatText(LoadString(IDS_NOTE_STILL_FAILED), {model_.Row(r).cells[kColStatus]}));
        return;
    }
}

void MonitorEngine::RemindAfterPause() {
    std::string failed;
    for (int r = 0; r < model_.entries.rowCount; ++r) {
        const ServiceItem& record = model_.entries.RecordAtRow(r);
        if (!(record.state & kFailedBits) || EntrySnoozed(r)) continue;
        failed += (failed.empty() ? "" : ", ") + EntryTitle(record);
    }
    if (gate_.State() == kStateUnavailable) {
        failed += (failed.empty() ? "" : ", ") + std::string(LoadString(IDS_NOTE_INTERNET));
    }
    if (failed.empty()) return;
    alerts_.Remind(kPauseNoteKey, LoadString(IDS_NOTE_PAUSE_ENDED),
                   FormatText(LoadString(IDS_NOTE_STILL_FAILED), {failed}));
}

void MonitorEngine::SilenceChanged() {
    if (model_.observer) model_.observer->StateChanged();
}

std::string MonitorEngine::SnoozePath() const {
    return ListFileLocation().directory + '/' + LoadString(IDS_SNOOZE_FILE);
}

void MonitorEngine::SaveSnoozes() {
    std::vector<std::uint64_t> known;
    for (int r = 0; r < model_.entries.rowCount; ++r)
        known.push_back(EntryKey(model_.entries.RecordAtRow(r)));
    silence_.KeepOnly(known);
    const std::string path = SnoozePath();
    std::string reason;
    if (!silence_.Save(path, &reason)) {
        TellOnStandardError(FormatText(LoadString(IDS_SNOOZE_NOT_SAVED), {path, reason}));
    }
}

std::string MonitorEngine::SilenceTip() const {
    const std::int64_t now = ports_.clock->Now();
    std::string tip;
    if (model_.settings.alertsPausedUntil == kPausedUntilResumed) {
        tip = LoadString(IDS_TIP_PAUSED_UNTIL_RESUMED);
    } else if (AlertsPausedNow()) {
        tip = FormatText(LoadString(IDS_TIP_PAUSED_UNTIL),
                         {ClockText(model_.settings.alertsPausedUntil, now)});
    }
    int snoozed = 0;
    for (int r = 0; r < model_.entries.rowCount; ++r) snoozed += EntrySnoozed(r) ? 1 : 0;
    if (snoozed > 0) {
        if (!tip.empty()) tip += '\n';
        tip += FormatText(LoadString(IDS_TIP_SNOOZED_COUNT), {std::to_string(snoozed)});
    }
    return tip;
}

std::int64_t MonitorEngine::StatusSince(int row) const {
    return model_.entries.IsRow(row)
               ? history_.StatusSince(model_.entries.order[static_cast<std::size_t>(row)])
               : 0;
}

std::int64_t MonitorEngine::FailedSince(int row) const {
    return model_.entries.IsRow(row)
               ? history_.FailedSince(model_.entries.order[static_cast<std::size_t>(row)])
               : 0;
}

std::int64_t MonitorEngine::DownSeconds(int row) const {
    const std::int64_t since = FailedSince(row);
    return since == 0 ? -1 : std::max<std::int64_t>(0, ports_.clock->Now() - since);
}

std::string MonitorEngine::RowTip(int row) const {
    if (!model_.entries.IsRow(row)) return "";
    const std::int64_t now = ports_.clock->Now();
    std::string tip;
    const auto line = [&tip](const std::string& text) {
        if (!tip.empty()) tip += '\n';
        tip += text;
    };
    const int slot = model_.entries.order[static_cast<std::size_t>(row)];
    if (const std::int64_t since = history_.StatusSince(slot); since != 0) {
        line(FormatText(LoadString(IDS_TIP_SINCE),
                        {history_.StatusText(slot), ClockText(since, now), SpanText(now - since)}));
        const std::int64_t failed = history_.FailedSince(slot);
        if (failed != 0 && failed != since) {
            line(FormatText(LoadString(IDS_TIP_DOWN_SINCE),
                            {ClockText(failed, now), SpanText(now - failed)}));
        }
    }
    const std::int64_t until = SnoozedUntil(row);
    if (until == kSnoozeUntilOk) {
        line(LoadString(IDS_TIP_SNOOZED_UNTIL_OK));
    } else if (until != 0) {
        line(FormatText(LoadString(IDS_TIP_SNOOZED_UNTIL), {ClockText(until, now)}));
    }
    return tip;
}

}  // namespace tarnwatch

namespace tarnwatch {

void MonitorEngine::NoteTested(int slot, std::int32_t state, const std::string& text) {
    history_.Note(slot, state, text, ports_.clock->Now());
}

}  // namespace tarnwatch

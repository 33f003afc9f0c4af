// The metrics text; see MetricsExposition.h.
#include "engine/MetricsExposition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/EntrySummary.h"
#include "engine/FileReplace.h"
#include "engine/StringSink.h"
#include "engine/TextEscape.h"

namespace tarnwatch {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void Family(StringSink& out, std::string_view name, std::string_view help) {
    out.Put("# HELP ");
    out.Put(name);
    out.Put(' ');
    out.Put(help);
    out.Put("\n# TYPE ");
    out.Put(name);
    out.Put(" gauge\n");
}

template <typename Number>
void Sample(StringSink& out, std::string_view name, std::string_view labels, Number value) {
    char number[32];
    const std::size_t digits = FormatNumber(number, value);
    out.Put(name);
    out.Put(labels);
    out.Put(' ');
    out.Put(std::string_view(number, digits));
    out.Put('\n');
}

void Label(std::string& out, std::string_view name, std::string_view value, bool first = false) {
    if (!first) out += ',';
    out += name;
    out += "=\"";
    AppendLabelValue(out, value);
    out += '"';
}

// "{name="value"}"
std::string OneLabel(std::string_view name, std::string_view value) {
    std::string l = "{";
    Label(l, name, value, true);
    l += '}';
    return l;
}

double Seconds(std::int64_t microseconds) {
    return microseconds < 0 ? kNaN : static_cast<double>(microseconds) / 1e6;
}

// What the entry families show of one entry, gathered in one sweep over the
// records: they are large, and each family would otherwise read them again.
struct EntryValues {
    std::int32_t state;
    std::int32_t attempt;
    std::int32_t attempts;
    std::int32_t lastTestTime;
    std::int64_t durationUs;
    std::int64_t lastChange;
    std::size_t labelsEnd;  // where the entry's label set ends in `labels`
};

// What the families after the entries' take, with room to spare.
constexpr std::size_t kTrailerRoom = 8192;

// The per-entry families, each with the same label sets in row order.
void PutEntries(const MonitorEngine& engine, StringSink& out, EntryCounts& counts) {
    const EntryCollection& entries = engine.Entries();
    // Each entry's label set is built once and reused by every family.
    std::string labels;
    std::vector<EntryValues> values;
    values.reserve(static_cast<std::size_t>(std::max(0, entries.rowCount)));
    for (int r = 0; r < entries.rowCount; ++r) {
        const ServiceItem& e = entries.RecordAtRow(r);
        if (!CountEntry(counts, e, r)) continue;
        labels += "{row=\"";
        AppendNumber(labels, static_cast<std::int64_t>(r));
        labels += '"';
        Label(labels, "address", e.address);
        Label(labels, "source", e.source);
        Label(labels, "service_test", ServiceTestName(e.serviceTest));
        Label(labels, "description", e.description);
        labels += '}';
        values.push_back({e.state, e.attempt, e.attempts, e.lastTestTime,
                          engine.LastTestDurationUs(r), engine.StatusSince(r), labels.size()});
    }
    // Room for all seven families at once: each repeats every label set, and a
    // line's name and number take at most kLineRoom bytes besides.
    constexpr std::size_t kLineRoom = 96;
    constexpr std::size_t kFamilyRoom = 512;
    out.Reserve(7 * (kFamilyRoom + labels.size() + values.size() * kLineRoom) + kTrailerRoom);
    const auto each = [&](std::string_view name, auto value) {
        std::size_t begin = 0;
        for (const EntryValues& v : values) {
            Sample(out, name, std::string_view(labels).substr(begin, v.labelsEnd - begin),
                   value(v));
            begin = v.labelsEnd;
        }
    };
    constexpr std::string_view kUp = "tarnwatch_entry_up";
    Family(out, kUp,
           "Whether the entry was available at its last test (1) or failed (0); NaN while it is "
           "untested.");
    each(kUp, [](const EntryValues& v) {
        const StateCode code = StateCodeOf(v.state);
        return code == kCodeUntested ? kNaN : code == kCodeAvailable ? 1.0 : 0.0;
    });
    constexpr std::string_view kState = "tarnwatch_entry_state";
    Family(out, kState,
           "The entry's state: 0 untested, 1 available, 2 retrying, 3 unresolved, 4 timed out, "
           "5 unavailable.");
    each(kState,
         [](const EntryValues& v) { return static_cast<std::int64_t>(StateCodeOf(v.state)); });
    constexpr std::string_view kAttempt = "tarnwatch_entry_attempt";
    Family(out, kAttempt,
           "The entry's attempt: 1 at a test after a success, one more at each failure in a "
           "row.");
    each(kAttempt, [](const EntryValues& v) { return static_cast<std::int64_t>(v.attempt); });
    constexpr std::string_view kAttempts = "tarnwatch_entry_attempts";
    Family(out, kAttempts, "Failed tests in a row after which the entry alerts.");
    each(kAttempts, [](const EntryValues& v) { return static_cast<std::int64_t>(v.attempts); });
    constexpr std::string_view kLast = "tarnwatch_entry_last_test_timestamp_seconds";
    Family(out, kLast, "When the entry was last tested, in seconds since 1970; 0 when never.");
    each(kLast, [](const EntryValues& v) { return static_cast<std::int64_t>(v.lastTestTime); });
    constexpr std::string_view kDuration = "tarnwatch_entry_last_test_duration_seconds";
    Family(out, kDuration, "How long the entry's last test took; NaN while it is untested.");
    each(kDuration, [](const EntryValues& v) { return Seconds(v.durationUs); });
    constexpr std::string_view kChange = "tarnwatch_entry_last_change_timestamp_seconds";
    Family(out, kChange,
           "When the entry's current status began, in seconds since 1970; 0 while it has not "
           "been tested since the monitor started.");
    each(kChange, [](const EntryValues& v) { return v.lastChange; });
}

void PutExposition(const MonitorEngine& engine, StringSink& out) {
    // Counted in the same sweep as the entries.
    EntryCounts counts;
    PutEntries(engine, out, counts);

    constexpr std::string_view kInterval = "tarnwatch_class_interval_seconds";
    Family(out, kInterval, "The update interval of the frequency class; 0 when the class is off.");
    for (int cls : kTimedClasses) {
        Sample(out, kInterval, OneLabel("class", ClassName(cls)),
               UpdateScheduler::ClassInterval(cls, engine.Settings()));
    }
    // A time, not a countdown: the text is made once a pass has ended and
    // served unchanged until the next, so a countdown would stand still.
    constexpr std::string_view kNext = "tarnwatch_class_next_update_timestamp_seconds";
    Family(out, kNext,
           "When the frequency class is next updated, in seconds since 1970; 0 while the class "
           "or the timers are off.");
    for (int cls : kTimedClasses) {
        Sample(out, kNext, OneLabel("class", ClassName(cls)), NextUpdateTimestamp(engine, cls));
    }

    constexpr std::string_view kInternet = "tarnwatch_internet_state";
    Family(out, kInternet,
           "The Internet connection check before gated entries: 0 untested, 1 available, "
           "5 unavailable.");
    Sample(out, kInternet, "", static_cast<std::int64_t>(StateCodeOf(engine.InternetState())));

    constexpr std::string_view kLevel = "tarnwatch_overall_level";
    Family(out, kLevel, "The overall level: 0 ok, 1 warning, 2 information, 3 error.");
    Sample(out, kLevel, "", static_cast<std::int64_t>(LevelCode(engine.OverallLevel())));

    constexpr std::string_view kEntries = "tarnwatch_entries";
    Family(out, kEntries, "Entries of the list by outcome.");
    const std::pair<const char*, int> byOutcome[] = {{"ok", counts.ok},
                                                     {"failed", counts.failed},
                                                     {"untested", counts.untested},
                                                     {"disabled", counts.disabled}};
    for (const auto& [name, count] : byOutcome) {
        Sample(out, kEntries, OneLabel("outcome", name), static_cast<std::int64_t>(count));
    }

    constexpr std::string_view kPassLength = "tarnwatch_last_pass_duration_seconds";
    Family(out, kPassLength, "How long the last test pass took; NaN before the first.");
    Sample(out, kPassLength, "", Seconds(engine.LastPassDurationUs()));
    constexpr std::string_view kPassEnd = "tarnwatch_last_pass_timestamp_seconds";
    Family(out, kPassEnd,
           "When the last test pass ended, in seconds since 1970; 0 before the first.");
    Sample(out, kPassEnd, "", engine.LastPassEndTime());
}

}  // namespace

void AppendExposition(const MonitorEngine& engine, std::string& out) {
    StringSink sink(out);
    PutExposition(engine, sink);
}

std::string ExpositionText(const MonitorEngine& engine) {
    std::string out;
    out.reserve(kTrailerRoom);
    AppendExposition(engine, out);
    return out;
}

bool WriteExpositionFile(const MonitorEngine& engine, const std::string& path, std::string& text,
                         std::string* reason) {
    text.clear();
    text.reserve(kTrailerRoom);
    bool made = false;
    // Mode 0644 once in place, so a collector running as another user can
    // read it.
    const bool written = ReplaceFile(
        path, false,
        [&](int fd) {
            BackgroundFileWriter writer(fd, text);
            {
                StringSink sink(text, &writer);
                PutExposition(engine, sink);
            }
            made = true;
            return writer.Finish(&text);
        },
        reason);
    // Made all the same when the file could not even be created.
    if (!made) AppendExposition(engine, text);
    return written;
}

}  // namespace tarnwatch

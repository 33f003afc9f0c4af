// The plugin status line and the JSON report.
#include "engine/CheckReport.h"

#include <charconv>
#include <string_view>

#include "engine/EntrySummary.h"
#include "engine/TextEscape.h"

namespace tarnwatch {
namespace {

// Monitors keep a few kilobytes of a plugin's first line; the names of the
// entries are held well below that.
constexpr std::size_t kNameBytes = 48;
constexpr std::size_t kNamesShown = 10;

std::string EntryName(const ServiceItem& e) {
    return PluginText(e.description[0] ? e.description : e.address, kNameBytes);
}

// "2 of 5 entries failed: web, mail, and 3 more"
void AppendGroup(std::string& out, const MonitorEngine& engine, const std::vector<int>& rows,
                 int of, const char* what) {
    AppendNumber(out, static_cast<std::int64_t>(rows.size()));
    out += " of ";
    AppendNumber(out, static_cast<std::int64_t>(of));
    out += of == 1 ? " entry " : " entries ";
    out += what;
    out += ": ";
    for (std::size_t i = 0; i < rows.size() && i < kNamesShown; ++i) {
        if (i) out += ", ";
        out += EntryName(engine.Entries().RecordAtRow(rows[i]));
    }
    if (rows.size() > kNamesShown) {
        out += ", and ";
        AppendNumber(out, static_cast<std::int64_t>(rows.size() - kNamesShown));
        out += " more";
    }
}

void AppendPerf(std::string& out, const char* label, int value, int max) {
    out += ' ';
    out += label;
    out += '=';
    AppendNumber(out, static_cast<std::int64_t>(value));
    out += ";;;0;";
    AppendNumber(out, static_cast<std::int64_t>(max));
}

// Plain decimals: the performance-data syntax has no exponents.
void AppendFixedSeconds(std::string& out, std::int64_t microseconds) {
    char buf[40];
    const double seconds = static_cast<double>(microseconds) / 1e6;
    const auto res = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 6);
    out.append(buf, res.ptr);
}

class Json {
public:
    explicit Json(std::string& out) : out_(out) {}
    Json& Key(std::string_view key) {
        if (needComma_) out_ += ',';
        AppendJsonString(out_, key);
        out_ += ':';
        needComma_ = false;
        return *this;
    }
    Json& Text(std::string_view value) {
        Comma();
        AppendJsonString(out_, value);
        return *this;
    }
    Json& Int(std::int64_t value) {
        Comma();
        AppendNumber(out_, value);
        return *this;
    }
    // Seconds from microseconds; null for a negative (unknown) count.
    Json& Seconds(std::int64_t microseconds) {
        Comma();
        if (microseconds < 0) {
            out_ += "null";
        } else {
            AppendNumber(out_, static_cast<double>(microseconds) / 1e6);
        }
        return *this;
    }
    Json& Bool(bool value) {
        Comma();
        out_ += value ? "true" : "false";
        return *this;
    }
    Json& Null() {
        Comma();
        out_ += "null";
        return *this;
    }
    Json& Open(char bracket) {
        Comma();
        out_ += bracket;
        needComma_ = false;
        return *this;
    }
    Json& Close(char bracket) {
        out_ += bracket;
        needComma_ = true;
        return *this;
    }

private:
    void Comma() {
        if (needComma_) out_ += ',';
        needComma_ = true;
    }
    std::string& out_;
    bool needComma_ = false;
};

void EntryJson(Json& j, const MonitorEngine& engine, int row) {
    const ServiceItem& e = engine.Entries().RecordAtRow(row);
    const RowView& view = engine.Rows()[static_cast<std::size_t>(row)];
    const StateCode code = StateCodeOf(e.state);
    j.Open('{');
    j.Key("row").Int(row);
    j.Key("enabled").Bool(e.enabled != 0);
    j.Key("address").Text(e.address);
    j.Key("description").Text(e.description);
    j.Key("source").Text(e.source);
    j.Key("service_test").Text(ServiceTestName(e.serviceTest));
    j.Key("status").Text(view.cells[kColStatus]);
    j.Key("timeout").Text(view.cells[kColTimeout]);
    j.Key("frequency").Text(view.cells[kColFreq]);
    j.Key("up");
    if (!e.enabled || code == kCodeUntested) {
        j.Null();
    } else {
        j.Int(code == kCodeAvailable ? 1 : 0);
    }
    j.Key("state").Int(code);
    j.Key("state_name").Text(StateCodeName(code));
    j.Key("attempt").Int(e.attempt);
    j.Key("attempts").Int(e.attempts);
    j.Key("last_test_timestamp_seconds").Int(e.lastTestTime);
    j.Key("last_test_duration_seconds").Seconds(engine.LastTestDurationUs(row));
    j.Key("last_change_timestamp_seconds").Int(engine.StatusSince(row));
    j.Close('}');
}

}  // namespace

const char* CheckWord(int exitCode) {
    switch (exitCode) {
        case kCheckOk:
            return "OK";
        case kCheckWarning:
            return "WARNING";
        case kCheckCritical:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

std::string PluginLine(const MonitorEngine& engine, const CheckResult& result) {
    std::string out = "TARNWATCH ";
    out += CheckWord(result.exitCode);
    out += " - ";
    if (result.exitCode == kCheckUnknown) {
        out += PluginText(result.error.empty() ? "no pass could run" : result.error, 1024);
        return out;
    }
    const EntryCounts c = CountEntries(engine);
    if (c.failed == 0 && c.untested == 0) {
        AppendNumber(out, static_cast<std::int64_t>(c.ok));
        out += " of ";
        AppendNumber(out, static_cast<std::int64_t>(c.enabled));
        out += c.enabled == 1 ? " entry ok" : " entries ok";
    } else {
        if (c.failed) AppendGroup(out, engine, c.failedRows, c.enabled, "failed");
        if (c.failed && c.untested) out += "; ";
        if (c.untested) AppendGroup(out, engine, c.untestedRows, c.enabled, "untested");
    }
    out += " |";
    AppendPerf(out, "ok", c.ok, c.enabled);
    AppendPerf(out, "failed", c.failed, c.enabled);
    AppendPerf(out, "untested", c.untested, c.enabled);
    AppendPerf(out, "disabled", c.disabled, c.total);
    if (engine.LastPassDurationUs() >= 0) {
        out += " pass_duration=";
        AppendFixedSeconds(out, engine.LastPassDurationUs());
        out += "s;;;0";
    }
    return out;
}

std::string JsonReport(const MonitorEngine& engine, std::int64_t now, const CheckResult& result) {
    std::string out;
    out.reserve(1024 + static_cast<std::size_t>(engine.Entries().rowCount) * 512);
    Json j(out);
    j.Open('{');
    j.Key("status").Text(CheckWord(result.exitCode));
    j.Key("exit_code").Int(result.exitCode);
    if (!result.error.empty()) j.Key("error").Text(result.error);
    j.Key("overall_level").Int(LevelCode(engine.OverallLevel()));
    j.Key("overall_level_name").Text(LevelName(engine.OverallLevel()));
    const StateCode internet = StateCodeOf(engine.InternetState());
    j.Key("internet_state").Int(internet);
    j.Key("internet_state_name").Text(StateCodeName(internet));
    j.Key("last_pass_duration_seconds").Seconds(engine.LastPassDurationUs());
    j.Key("last_pass_timestamp_seconds").Int(engine.LastPassEndTime());

    const EntryCounts c = CountEntries(engine);
    j.Key("counts").Open('{');
    j.Key("total").Int(c.total);
    j.Key("enabled").Int(c.enabled);
    j.Key("ok").Int(c.ok);
    j.Key("failed").Int(c.failed);
    j.Key("untested").Int(c.untested);
    j.Key("disabled").Int(c.disabled);
    j.Close('}');

    j.Key("classes").Open('[');
    for (int cls : kTimedClasses) {
        j.Open('{');
        j.Key("class").Text(ClassName(cls));
        j.Key("interval_seconds").Int(UpdateScheduler::ClassInterval(cls, engine.Settings()));
        const std::int64_t left = SecondsToNextUpdate(engine, cls, now);
        j.Key("next_update_remaining_seconds");
        if (left < 0) {
            j.Null();
        } else {
            j.Int(left);
        }
        j.Key("next_update_timestamp_seconds").Int(NextUpdateTimestamp(engine, cls));
        j.Close('}');
    }
    j.Close(']');

    j.Key("entries").Open('[');
    for (int r = 0; r < engine.Entries().rowCount; ++r) EntryJson(j, engine, r);
    j.Close(']');
    j.Close('}');
    out += '\n';
    return out;
}

}  // namespace tarnwatch

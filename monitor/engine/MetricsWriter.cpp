// The metrics text and the metrics file.
#include "engine/MetricsWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/EntrySummary.h"
#include "engine/TextEscape.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void Family(std::string& out, const char* name, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += " gauge\n";
}

template <typename Number>
void Sample(std::string& out, const char* name, std::string_view labels, Number value) {
    out += name;
    out += labels;
    out += ' ';
    AppendNumber(out, value);
    out += '\n';
}

void Label(std::string& out, const char* name, std::string_view value, bool first = false) {
    if (!first) out += ',';
    out += name;
    out += "=\"";
    AppendLabelValue(out, value);
    out += '"';
}

double Seconds(std::int64_t microseconds) {
    return microseconds < 0 ? kNaN : static_cast<double>(microseconds) / 1e6;
}

// The per-entry families, each with the same label sets in row order.
void AppendEntries(const MonitorEngine& engine, std::string& out) {
    const EntryCollection& entries = engine.Entries();
    // Each entry's label set is built once and reused by every family.
    std::string labels;
    std::vector<std::size_t> ends;
    std::vector<int> rows;
    char rowText[16];
    for (int r = 0; r < entries.rowCount; ++r) {
        const ServiceItem& e = entries.RecordAtRow(r);
        if (!e.enabled) continue;
        rows.push_back(r);
        labels += "{row=\"";
        std::snprintf(rowText, sizeof rowText, "%d", r);
        labels += rowText;
        labels += '"';
        Label(labels, "address", e.address);
        Label(labels, "source", e.source);
        Label(labels, "service_test", ServiceTestName(e.serviceTest));
        Label(labels, "description", e.description);
        labels += '}';
        ends.push_back(labels.size());
    }
    const auto each = [&](auto sample) {
        std::size_t begin = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            sample(std::string_view(labels).substr(begin, ends[i] - begin),
                   entries.RecordAtRow(rows[i]), rows[i]);
            begin = ends[i];
        }
    };
    constexpr const char* kUp = "tarnwatch_entry_up";
    Family(out, kUp,
           "Whether the entry was available at its last test (1) or failed (0); NaN while it is "
           "untested.");
    each([&](std::string_view l, const ServiceItem& e, int) {
        const StateCode code = StateCodeOf(e.state);
        Sample(out, kUp, l, code == kCodeUntested ? kNaN : code == kCodeAvailable ? 1.0 : 0.0);
    });
    constexpr const char* kState = "tarnwatch_entry_state";
    Family(out, kState,
           "The entry's state: 0 untested, 1 available, 2 retrying, 3 unresolved, 4 timed out, "
           "5 unavailable.");
    each([&](std::string_view l, const ServiceItem& e, int) {
        Sample(out, kState, l, static_cast<std::int64_t>(StateCodeOf(e.state)));
    });
    constexpr const char* kAttempt = "tarnwatch_entry_attempt";
    Family(out, kAttempt,
           "Tests of the entry since its last success or since the list was loaded.");
    each([&](std::string_view l, const ServiceItem& e, int) {
        Sample(out, kAttempt, l, static_cast<std::int64_t>(e.attempt));
    });
    constexpr const char* kAttempts = "tarnwatch_entry_attempts";
    Family(out, kAttempts, "Failed tests in a row after which the entry alerts.");
    each([&](std::string_view l, const ServiceItem& e, int) {
        Sample(out, kAttempts, l, static_cast<std::int64_t>(e.attempts));
    });
    constexpr const char* kLast = "tarnwatch_entry_last_test_timestamp_seconds";
    Family(out, kLast, "When the entry was last tested, in seconds since 1970; 0 when never.");
    each([&](std::string_view l, const ServiceItem& e, int) {
        Sample(out, kLast, l, static_cast<std::int64_t>(e.lastTestTime));
    });
    constexpr const char* kDuration = "tarnwatch_entry_last_test_duration_seconds";
    Family(out, kDuration, "How long the entry's last test took; NaN while it is untested.");
    each([&](std::string_view l, const ServiceItem&, int row) {
        Sample(out, kDuration, l, Seconds(engine.LastTestDurationUs(row)));
    });
}

void Fill(std::string& text, const std::string& part, std::size_t& from) {
    const std::size_t at = text.find("%s", from);
    if (at == std::string::npos) return;
    text.replace(at, 2, part);
    from = at + part.size();
}

std::string ErrnoText(const char* what, const std::string& name) {
    return std::string(what) + " " + name + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void AppendExposition(const MonitorEngine& engine, std::int64_t now, std::string& out) {
    AppendEntries(engine, out);

    constexpr const char* kInterval = "tarnwatch_class_interval_seconds";
    Family(out, kInterval, "The update interval of the frequency class; 0 when the class is off.");
    for (int cls : kTimedClasses) {
        std::string l = "{";
        Label(l, "class", ClassName(cls), true);
        l += '}';
        Sample(out, kInterval, l, UpdateScheduler::ClassInterval(cls, engine.Settings()));
    }
    constexpr const char* kNext = "tarnwatch_class_next_update_remaining_seconds";
    Family(out, kNext,
           "Seconds until the frequency class is next updated; NaN while the class or the "
           "timers are off.");
    for (int cls : kTimedClasses) {
        std::string l = "{";
        Label(l, "class", ClassName(cls), true);
        l += '}';
        const std::int64_t left = SecondsToNextUpdate(engine, cls, now);
        Sample(out, kNext, l, left < 0 ? kNaN : static_cast<double>(left));
    }

    constexpr const char* kInternet = "tarnwatch_internet_state";
    Family(out, kInternet,
           "The Internet connection check before gated entries: 0 untested, 1 available, "
           "5 unavailable.");
    Sample(out, kInternet, "", static_cast<std::int64_t>(StateCodeOf(engine.InternetState())));

    constexpr const char* kLevel = "tarnwatch_overall_level";
    Family(out, kLevel, "The overall level: 0 ok, 1 warning, 2 information, 3 error.");
    Sample(out, kLevel, "", static_cast<std::int64_t>(LevelCode(engine.OverallLevel())));

    const EntryCounts counts = CountEntries(engine);
    constexpr const char* kEntries = "tarnwatch_entries";
    Family(out, kEntries, "Entries of the list by outcome.");
    const std::pair<const char*, int> byOutcome[] = {{"ok", counts.ok},
                                                     {"failed", counts.failed},
                                                     {"untested", counts.untested},
                                                     {"disabled", counts.disabled}};
    for (const auto& [name, count] : byOutcome) {
        std::string l = "{";
        Label(l, "outcome", name, true);
        l += '}';
        Sample(out, kEntries, l, static_cast<std::int64_t>(count));
    }

    constexpr const char* kPassLength = "tarnwatch_last_pass_duration_seconds";
    Family(out, kPassLength, "How long the last test pass took; NaN before the first.");
    Sample(out, kPassLength, "", Seconds(engine.LastPassDurationUs()));
    constexpr const char* kPassEnd = "tarnwatch_last_pass_timestamp_seconds";
    Family(out, kPassEnd,
           "When the last test pass ended, in seconds since 1970; 0 before the first.");
    Sample(out, kPassEnd, "", engine.LastPassEndTime());
}

std::string ExpositionText(const MonitorEngine& engine, std::int64_t now) {
    std::string out;
    // About 1.2 KB per entry across its six families.
    out.reserve(4096 + static_cast<std::size_t>(engine.Entries().rowCount) * 1280);
    AppendExposition(engine, now, out);
    return out;
}

std::string FillText(int id, const std::string& first, const std::string& second) {
    std::string text = LoadString(id);
    std::size_t from = 0;
    Fill(text, first, from);
    Fill(text, second, from);
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* reason) {
    std::string failure;
    std::vector<char> name(path.begin(), path.end());
    for (char c : std::string_view(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        if (reason) *reason = ErrnoText("cannot create a file in", DirectoryOf(path));
        return false;
    }
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0 && failure.empty()) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = ErrnoText("cannot write", path);
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // Readable by a collector that runs as another user, as a metrics file
    // is meant to be.
    if (failure.empty() && fchmod(fd, 0644) != 0)
        failure = ErrnoText("cannot set the mode of", path);
    if (close(fd) != 0 && failure.empty()) failure = ErrnoText("cannot write", path);
    if (failure.empty() && rename(name.data(), path.c_str()) != 0) {
        failure = ErrnoText("cannot replace", path);
    }
    if (!failure.empty()) {
        unlink(name.data());
        if (reason) *reason = failure;
        return false;
    }
    return true;
}

MetricsFile::MetricsFile(std::string path, Reporter report)
    : path_(std::move(path)), report_(std::move(report)) {
    if (!report_) {
        report_ = [](const std::string& message) {
            std::fprintf(stderr, "%s: %s\n", LoadString(IDS_APP_NAME), message.c_str());
            std::fflush(stderr);
        };
    }
}

bool MetricsFile::Write(const std::string& text) {
    std::string reason;
    const bool ok = WriteFileAtomically(path_, text, &reason);
    if (reason != lastError_) {
        report_(ok ? FillText(IDS_METRICS_FILE_WRITTEN_AGAIN, path_)
                   : FillText(IDS_METRICS_FILE_FAILED, path_, reason));
        lastError_ = reason;
    }
    return ok;
}

}  // namespace tarnwatch

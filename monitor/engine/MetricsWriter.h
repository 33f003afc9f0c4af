// The monitor's state as metrics in the Prometheus text exposition format
// (version 0.0.4), and the file that holds the text between passes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

// The content type under which the text is served.
inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// Appends the metrics of the engine's state: per enabled entry (labelled by
// row, address, source, service test and description) whether it is up, its
// state code, attempt and attempts, the time and length of its last test;
// per timed class its interval and when it is next updated; the Internet gate, the overall level,
// the counts by outcome and the last pass. The text is valid UTF-8 whatever the entries hold, and
// carries no sample time stamps, so a textfile collector takes it as it is.
void AppendExposition(const MonitorEngine& engine, std::string& out);
std::string ExpositionText(const MonitorEngine& engine);

// Makes the exposition into `text` and replaces `path` with it (ReplaceFile:
// a reader sees the old content or the new, never a mix), writing each part of
// the text while the rest is made. On failure the old file stays, nothing is
// left behind, and `reason` says what failed. `text` is whole afterwards even
// when the file could not be written.
bool WriteExpositionFile(const MonitorEngine& engine, const std::string& path, std::string& text,
                         std::string* reason);

// The string-table text `id` with its "%s" places filled in order.
std::string FillText(int id, const std::string& first, const std::string& second = "");

// The metrics file: written after every pass. A path that cannot be written
// is reported once, and again only when the reason changes or the writes
// succeed again; the monitor goes on either way.
class MetricsFile {
public:
    using Reporter = std::function<void(const std::string& message)>;
    // Without a reporter, reports go to standard error.
    explicit MetricsFile(std::string path, Reporter report = nullptr);

    bool Write(const std::string& text);
    // Makes the exposition of the engine's state into `text` and writes it.
    bool WriteExposition(const MonitorEngine& engine, std::string& text);
    const std::string& path() const { return path_; }
    // Why the last write failed; empty after a success.
    const std::string& lastError() const { return lastError_; }

private:
    bool Report(bool ok, const std::string& reason);

    std::string path_;
    Reporter report_;
    std::string lastError_;
};

}  // namespace tarnwatch

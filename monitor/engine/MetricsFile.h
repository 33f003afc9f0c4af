// The metrics file, written after every pass, and the reports of its
// failures.
#pragma once

#include <functional>
#include <string>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

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
    // Reports a change of the outcome; `why` is ReplaceFile's reason.
    bool Report(bool ok, const std::string& why);

    std::string path_;
    Reporter report_;
    std::string lastError_;
};

}  // namespace tarnwatch

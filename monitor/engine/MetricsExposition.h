// The monitor's state as metrics in the Prometheus text exposition format
// (version 0.0.4), as a text or straight into a file.
#pragma once

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

}  // namespace tarnwatch

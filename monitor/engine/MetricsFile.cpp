// The metrics file; see MetricsFile.h.
#include "engine/MetricsFile.h"

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "engine/MetricsExposition.h"
#include "res/StringTable.h"

namespace tarnwatch {

MetricsFile::MetricsFile(std::string path, Reporter report)
    : path_(std::move(path)), report_(std::move(report)) {
    if (!report_) {
        report_ = [](const std::string& message) { TellOnStandardError(message); };
    }
}

bool MetricsFile::Write(const std::string& text) {
    std::string reason;
    return Report(ReplaceFile(path_, false, text, &reason), reason);
}

bool MetricsFile::WriteExposition(const MonitorEngine& engine, std::string& text) {
    std::string reason;
    return Report(WriteExpositionFile(engine, path_, text, &reason), reason);
}

bool MetricsFile::Report(bool ok, const std::string& why) {
    const std::string reason = ok ? std::string() : "cannot replace " + path_ + ": " + why;
    if (reason != lastError_) {
        report_(ok ? LoadFormatted(IDS_METRICS_FILE_WRITTEN_AGAIN, path_)
                   : LoadFormatted(IDS_METRICS_FILE_FAILED, path_, reason));
        lastError_ = reason;
    }
    return ok;
}

}  // namespace tarnwatch

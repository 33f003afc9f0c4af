// Publishing the metrics.
#include "shell/MetricsOutput.h"

#include <QMetaObject>
#include <cstdio>
#include <ctime>

#include "res/StringTable.h"
#include "shell/ProfileStore.h"

namespace tarnwatch {

MetricsOutput::MetricsOutput(const MetricsOptions& options) {
    const std::string path = options.file ? *options.file : ProfileStore::MetricsFile();
    if (!path.empty()) file_ = std::make_unique<MetricsFile>(path);
    if (options.listen) {
        auto server = std::make_unique<MetricsServer>();
        std::string reason;
        if (server->Start(*options.listen, &reason)) {
            server_ = std::move(server);
        } else {
            std::fprintf(stderr, "%s: %s\n", LoadString(IDS_APP_NAME),
                         FillText(IDS_METRICS_LISTEN_FAILED, options.listen->text, reason).c_str());
            std::fflush(stderr);
        }
    }
}

MetricsOutput::~MetricsOutput() = default;

void MetricsOutput::Publish(const MonitorEngine& engine, bool toFile) {
    if (!server_ && !(file_ && toFile)) return;
    // Made once for both.
    auto text = std::make_shared<const std::string>(
        ExpositionText(engine, static_cast<std::int64_t>(std::time(nullptr))));
    if (server_) server_->Publish(text);
    if (file_ && toFile) file_->Write(*text);
}

void MetricsOutput::PublishSoon(const MonitorEngine& engine) {
    if (!Active() || pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, &engine] {
            pending_ = false;
            if (engine.InPass() || engine.ShutdownDone()) return;
            Publish(engine);
        },
        Qt::QueuedConnection);
}

}  // namespace tarnwatch

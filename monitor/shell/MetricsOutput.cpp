// Publishing the metrics.
#include "shell/MetricsOutput.h"

#include <QMetaObject>
#include <atomic>
#include <cstdio>
#include <utility>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"
#include "shell/ProfileStore.h"

namespace tarnwatch {

MetricsOutput::MetricsOutput(const MetricsOptions& options) {
    const std::string path = options.file ? *options.file : ProfileStore::MetricsFile();
    if (!path.empty()) {
        // Writes that a kill ended before their rename; a write another
        // running copy has under way holds its file and stays.
        RemoveLeftoverTempFilesOf(path);
        file_ = std::make_unique<MetricsFile>(path);
    }
    if (options.listen) {
        auto server = std::make_unique<MetricsServer>();
        std::string reason;
        if (server->Start(*options.listen, &reason)) {
            server_ = std::move(server);
        } else {
            TellOnStandardError(
                LoadFormatted(IDS_METRICS_LISTEN_FAILED, options.listen->text, reason));
        }
    }
}

MetricsOutput::~MetricsOutput() = default;

void MetricsOutput::Publish(const MonitorEngine& engine, bool toFile) {
    if (!server_ && !(file_ && toFile)) return;
    // Made once for both.
    // A count of one means no response still sends the spare text; the
    // fence orders the last response's reads before our writes.
    std::shared_ptr<std::string> text;
    if (spare_ && spare_.use_count() == 1) {
        std::atomic_thread_fence(std::memory_order_acquire);
        text = std::move(spare_);
    } else {
        text = std::make_shared<std::string>();
    }
    if (file_ && toFile) {
        file_->WriteExposition(engine, *text);
    } else {
        text->clear();
        AppendExposition(engine, *text);
    }
    if (server_) server_->Publish(text);
    spare_ = std::exchange(last_, std::move(text));
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

// Where the metrics go after each pass, in the window and the headless mode
// alike: the metrics file (from --metrics-file, else the profile's
// [Metrics] MetricsFile value) and the HTTP endpoint (--metrics-listen).
#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "engine/MetricsExposition.h"
#include "engine/MetricsFile.h"
#include "engine/MonitorEngine.h"
#include "shell/MetricsServer.h"

namespace tarnwatch {

// What the command line asked for.
struct MetricsOptions {
    // Set by --metrics-file, even to "" (which turns the profile's file off).
    std::optional<std::string> file;
    // From --metrics-listen, already checked; none when not given.
    std::optional<ListenAddress> listen;
};

class MetricsOutput final : public QObject {
public:
    // Reads the profile for the file unless the command line named one, and
    // starts the endpoint. Failures are reported on standard error; the
    // monitor runs on without what failed.
    explicit MetricsOutput(const MetricsOptions& options);
    ~MetricsOutput() override;

    bool Active() const { return file_ || server_; }
    const MetricsServer* server() const { return server_.get(); }
    // The engine's state to the endpoint and, with `toFile`, to the file.
    void Publish(const MonitorEngine& engine, bool toFile = true);
    // Publishes once the event loop is back, when the scheduler has set the
    // next updates; several calls before then publish once. Nothing is
    // published while a pass runs (its own end asks again) or after the
    // shutdown. `engine` must outlive this object.
    void PublishSoon(const MonitorEngine& engine);

private:
    std::unique_ptr<MetricsFile> file_;
    std::unique_ptr<MetricsServer> server_;
    // The texts made last and the one before: the next is made in the older
    // one's buffer once nothing else holds it, so a long list's text does not
    // take fresh memory at every pass.
    std::shared_ptr<std::string> last_;
    std::shared_ptr<std::string> spare_;
    bool pending_ = false;
};

}  // namespace tarnwatch

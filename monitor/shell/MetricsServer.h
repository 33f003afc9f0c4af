// The metrics served over HTTP at /metrics by an embedded server on its own
// thread. A pass hands it each complete text; a request gets the last one
// whole, at once, whether or not a pass is running, and never waits for the
// window or the pass.
#pragma once

#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "shell/ConnectionSlots.h"

struct MHD_Daemon;

namespace tarnwatch {

struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string text;  // as a URL shows it: "127.0.0.1:9100", "[::1]:9100"
};

// "PORT" (on 127.0.0.1, so nothing is exposed unless asked for),
// "ADDRESS:PORT" with a dotted IPv4 address or "localhost", or
// "[IPv6]:PORT". Ports 1-65535. Anything else is refused with a reason.
bool ParseListenAddress(const std::string& text, ListenAddress& out, std::string* error);

// After a failed hand-over of a copy of a descriptor: closes `handed` only
// while it still refers to the same open file as `kept`, which the caller
// holds open. The receiver may have closed `handed` already, and another
// thread may have been given its number since; that descriptor is not ours.
// True when `handed` was closed here.
bool CloseIfStillHanded(int handed, int kept);

class MetricsServer {
public:
    MetricsServer();
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens and starts the server's thread; false with a reason when the
    // address cannot be had.
    bool Start(const ListenAddress& where, std::string* error);
    // The text that requests get from now on.
    void Publish(std::shared_ptr<const std::string> text);
    std::shared_ptr<const std::string> Current() const;

    // For the server's callbacks only.
    struct Callbacks;

private:
    // Closes the connections whose request is overdue, once a second, also
    // while no new client comes.
    void Sweep();
    void StopSweeping();

    mutable std::mutex mutex_;
    std::shared_ptr<const std::string> text_;
    // Guards `slots_`; held while a connection is shut down, so the server
    // cannot close its descriptor (and the number be used again) meanwhile.
    std::mutex slotsMutex_;
    ConnectionSlots slots_;
    std::condition_variable stopSweeping_;
    bool sweeping_ = false;
    std::thread sweeper_;
    MHD_Daemon* daemon_ = nullptr;
};

}  // namespace tarnwatch

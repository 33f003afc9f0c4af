// A loopback TCP server that accepts connections and hangs up on each at
// once, for benchmarks of the TCP test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "fakes/Loopback.h"

namespace tarnwatch::fakes {

// Accepts connections and hangs up on each at once, so both loops below pay
// for the same server side and neither waits on a full accept queue.
class HangupServer {
public:
    HangupServer() {
        fd_ = ListenOnLoopback(SOMAXCONN, port_);
        thread_ = std::thread([this] {
            for (;;) {
                int c = accept(fd_, nullptr, nullptr);
                if (c < 0) {
                    if (errno == EINTR) continue;
                    return;  // the listener was shut down
                }
                close(c);
            }
        });
    }
    ~HangupServer() {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace tarnwatch::fakes

// A loopback TCP port whose connects complete (the kernel queues them) but
// whose peer never accepts and never says a word.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fakes/Loopback.h"

namespace tarnwatch::fakes {

class SilentListener {
public:
    SilentListener() { fd_ = ListenOnLoopback(8, port_); }
    ~SilentListener() { close(fd_); }
    int port() const { return port_; }
    // True once a connect waits in the queue, within `ms` milliseconds.
    bool Connected(int ms) const {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, ms) == 1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace tarnwatch::fakes

// Name resolution that a waiting caller can abandon. The system resolver
// call blocks, so it runs on a short-lived thread of its own; the caller
// polls a descriptor that becomes readable when the answer is in, and can
// walk away at any time (the thread then cleans up after itself).
#pragma once

#include <netdb.h>

#include <memory>
#include <string>

namespace tarnwatch {

class HostResolver {
public:
    HostResolver() = default;
    ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // Starts resolving host:port for TCP. Literal addresses (and every name
    // when no helper thread can be had) are answered before this returns.
    void Start(const std::string& host, int port);
    // A descriptor that is readable once Done(); -1 when already done.
    int WaitFd() const;
    bool Done() const;
    // The getaddrinfo result code once Done(): 0 and a list, or an EAI_ code.
    int Result() const;
    const addrinfo* Addresses() const;

private:
    struct Job;
    std::shared_ptr<Job> job_;
};

}  // namespace tarnwatch

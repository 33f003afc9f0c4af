// A network namespace built for the echo tests: joined to this namespace by a
// veth pair, its host ignores echo requests, and it answers traffic for one
// routed address with an ICMP "prohibited" error.
#pragma once

#include <string>

class SilentHostNamespace {
public:
    SilentHostNamespace();
    ~SilentHostNamespace();
    SilentHostNamespace(const SilentHostNamespace&) = delete;
    SilentHostNamespace& operator=(const SilentHostNamespace&) = delete;

    // Empty when the namespace could be built; else why not.
    const std::string& failure() const { return failure_; }

    const std::string& name() const { return name_; }
    // Our end of the pair (answers echo requests).
    const std::string& localAddress() const { return local_; }
    // The namespace's end: receives echo requests and never answers them.
    const std::string& silentAddress() const { return silent_; }
    // Routed into the namespace, which refuses it with an ICMP error.
    const std::string& refusedAddress() const { return refused_; }

private:
    bool Run(const std::string& command);

    std::string name_, vethOut_, vethIn_, local_, silent_, refused_, failure_;
    bool created_ = false;
};

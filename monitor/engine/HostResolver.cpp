// Resolution on a helper thread; see HostResolver.h.
#include "engine/HostResolver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace tarnwatch {

struct HostResolver::Job {
    std::string host;
    std::string service;
    std::atomic<bool> done{false};
    int rc = EAI_FAIL;
    addrinfo* list = nullptr;
    int eventFd = -1;

    ~Job() {
        if (list) freeaddrinfo(list);
        if (eventFd >= 0) close(eventFd);
    }

    void Run(int extraFlags) {
        addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        hints.ai_flags = AI_NUMERICSERV | extraFlags;
        rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        if (rc != 0) list = nullptr;
        done.store(true, std::memory_order_release);
        if (eventFd >= 0) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(eventFd, &one, sizeof one);
        }
    }
};

HostResolver::~HostResolver() = default;

void HostResolver::Start(const std::string& host, int port) {
    job_ = std::make_shared<Job>();
    job_->host = host;
    job_->service = std::to_string(port);
    // An empty name would ask for the local host: it names nothing here.
    if (host.empty()) {
        job_->rc = EAI_NONAME;
        job_->done = true;
        return;
    }
    // Literal addresses need no resolver and no thread.
    job_->Run(AI_NUMERICHOST);
    if (job_->rc == 0) return;
    job_->done = false;
    job_->rc = EAI_FAIL;
    job_->eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (job_->eventFd < 0) {
        job_->Run(0);
        return;
    }
    try {
        std::thread([job = job_] { job->Run(0); }).detach();
    } catch (...) {
        // No thread to be had: resolve here, which cannot be abandoned but
        // still answers.
        job_->Run(0);
    }
}

int HostResolver::WaitFd() const {
    return job_ && !Done() ? job_->eventFd : -1;
}

bool HostResolver::Done() const {
    return job_ && job_->done.load(std::memory_order_acquire);
}

int HostResolver::Result() const {
    return Done() ? job_->rc : EAI_FAIL;
}

const addrinfo* HostResolver::Addresses() const {
    return Done() ? job_->list : nullptr;
}

}  // namespace tarnwatch

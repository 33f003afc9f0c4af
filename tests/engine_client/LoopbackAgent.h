// A scriptable peer on 127.0.0.1 for the probe client tests: it accepts one
// connection and runs the test's handler on it in a thread of its own,
// keeping every byte it received.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/ArchiveCodec.h"
#include "fakes/Loopback.h"

namespace tarnwatch::testing {

// Bytes of one message with the given close flag, text and lines.
inline std::string MessageBytes(int closeFlag, const std::string& text,
                                const std::vector<std::string>& lines) {
    CMsgClient m;
    m.closeFlag = closeFlag;
    m.text = text;
    m.lines = lines;
    ArchiveWriter w;
    m.Serialize(w);
    return w.Bytes();
}

class LoopbackAgent {
public:
    // The connection, and the agent itself for reading and replying.
    using Handler = std::function<void(int fd, LoopbackAgent& agent)>;

    explicit LoopbackAgent(Handler handler) : handler_(std::move(handler)) {
        listenFd_ = fakes::ListenOnLoopback(4, port_);
        thread_ = std::thread([this] {
            pollfd p{listenFd_, POLLIN, 0};
            // Gives up after a while so a broken test cannot hang the run.
            if (poll(&p, 1, 20000) <= 0) return;
            int fd = accept(listenFd_, nullptr, nullptr);
            if (fd < 0) return;
            accepted_ = true;
            handler_(fd, *this);
            close(fd);
        });
    }
    ~LoopbackAgent() {
        Release();
        if (thread_.joinable()) thread_.join();
        close(listenFd_);
    }

    int port() const { return port_; }
    // Waits for the handler to finish; read the results after this.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool sawEnd() const { return sawEnd_; }
    bool accepted() const { return accepted_; }
    std::string Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

    // Reads one whole message (true), or false when the peer closed, failed
    // or sent nothing for 10 s.
    bool ReadMessage(int fd, CMsgClient& message) {
        for (;;) {
            std::size_t used = 0;
            if (message.Serialize(pending_.data(), pending_.size(), used) == ArchiveStatus::kOk) {
                pending_.erase(pending_.begin(), pending_.begin() + used);
                return true;
            }
            if (!ReadSome(fd)) return false;
        }
    }
    // Reads until the peer closes its sending side; false if it never does.
    bool ReadToEnd(int fd) {
        while (ReadSome(fd)) {
        }
        return sawEnd_;
    }
    static void Send(int fd, const std::string& bytes) {
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Lets a handler that keeps its side open finish.
    void Release() { released_ = true; }
    void WaitForRelease() {
        for (int i = 0; i < 2000 && !released_; ++i) usleep(10000);
    }

private:
    bool ReadSome(int fd) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) return false;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            sawEnd_ = n == 0;
            return false;
        }
        pending_.insert(pending_.end(), buf, buf + n);
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    Handler handler_;
    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> accepted_{false};
    std::atomic<bool> released_{false};
    bool sawEnd_ = false;
    std::vector<std::uint8_t> pending_;
    std::mutex mutex_;
    std::string received_;
};

}  // namespace tarnwatch::testing

// Sliced, pumped, cancellable waits on a non-blocking socket; see
// ProbeSocket.h.
#include "engine/ProbeSocket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tarnwatch {

CProbeSocket::CProbeSocket(CClientThread* client, MessagePump* pump, const Clock* clock)
    : client_(client), pump_(pump), clock_(clock) {}

CProbeSocket::~CProbeSocket() {
    Close();
}

std::int64_t MonotonicNowMs(const Clock* clock) {
    if (clock) return clock->MonotonicMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t CProbeSocket::NowMs() const {
    return MonotonicNowMs(clock_);
}

bool CProbeSocket::Create(int family) {
    Close();
    fd_ = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd_ < 0) return false;
    // Each message goes out in one write and a reply is awaited at once, so
    // there is nothing to gain from holding small segments back.
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void CProbeSocket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void CProbeSocket::ShutdownSend() {
    if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

void CProbeSocket::CancelBlockingCall() {
    if (blocking_) cancelRequested_ = true;
}

void CProbeSocket::OnMessagePending() {
    if (pump_) pump_->Pump();
}

WaitResult CProbeSocket::Wait(int fd, short events, std::int64_t deadlineMs) {
    // Waits do not nest: the pump never dispatches user input, so nothing
    // can start a second wait from inside this one.
    blocking_ = true;
    cancelRequested_ = false;
    WaitResult result = WaitResult::kExpired;
    for (;;) {
        std::int64_t now = NowMs();
        if (now >= deadlineMs) break;
        int slice = static_cast<int>(std::min<std::int64_t>(kPollSliceMs, deadlineMs - now));
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, slice);
        if (n > 0) {
            result = WaitResult::kReady;
            break;
        }
        if (n < 0 && errno != EINTR) {
            // A descriptor poll cannot watch: let the caller's next call
            // report the real error.
            result = WaitResult::kReady;
            break;
        }
        OnMessagePending();
        // A close of the program ends every wait, also one that began after
        // the close was asked for.
        if (cancelRequested_ || (pump_ && pump_->StopRequested())) {
            result = WaitResult::kCancelled;
            break;
        }
    }
    blocking_ = false;
    cancelRequested_ = false;
    return result;
}

// ETIME, not ETIMEDOUT: the kernel's own connect time-out must stay
// distinguishable from ours.
static int WaitError(WaitResult r) {
    return r == WaitResult::kCancelled ? ECANCELED : ETIME;
}

int CProbeSocket::Connect(const sockaddr* address, socklen_t length, std::int64_t deadlineMs) {
    if (fd_ < 0) return EBADF;
    if (connect(fd_, address, length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    WaitResult r = Wait(fd_, POLLOUT, deadlineMs);
    if (r != WaitResult::kReady) return WaitError(r);
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

int CProbeSocket::Send(const void* data, std::size_t size, std::int64_t deadlineMs) {
    if (fd_ < 0) return EBADF;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        WaitResult r = Wait(fd_, POLLOUT, deadlineMs);
        if (r != WaitResult::kReady) return WaitError(r);
    }
    return 0;
}

ssize_t CProbeSocket::Receive(void* buffer, std::size_t size, std::int64_t deadlineMs) {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        ssize_t n = recv(fd_, buffer, size, 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        WaitResult r = Wait(fd_, POLLIN, deadlineMs);
        if (r != WaitResult::kReady) {
            errno = WaitError(r);
            return -1;
        }
    }
}

}  // namespace tarnwatch

// Socket side of the echo probes: host checking, resolution, sockets, and the
// send and receive waits bounded by the caller's time limit.
#include "EchoSocket.h"

#include <errno.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace qg_probes {
namespace {

constexpr std::size_t kReceiveBufferSize = 1024;
// How often a stoppable wait asks whether to give up.
constexpr std::int64_t kStopSliceMs = 50;

std::int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int PollWait(std::int64_t remainingMs) {
    return remainingMs > INT_MAX ? INT_MAX : static_cast<int>(remainingMs);
}

// One poll of a wait: all of the remaining time, or one slice of it when the
// caller may want to stop.
int SliceWait(std::int64_t remainingMs, const EchoStop& stop) {
    return PollWait(stop.hook ? std::min(remainingMs, kStopSliceMs) : remainingMs);
}

bool StopAsked(const EchoStop& stop) {
    return stop.hook != nullptr && stop.hook(stop.context) != 0;
}

bool HostTextAcceptable(const char* host) {
    if (host == nullptr) return false;
    const std::size_t len = strnlen(host, kMaxHostLength + 1);
    if (len == 0 || len > kMaxHostLength) return false;
    for (std::size_t i = 0; i < len; ++i) {
        const auto c = static_cast<unsigned char>(host[i]);
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

bool IsTimeOutErrno(int err) {
    return err == ETIMEDOUT;
}

}  // namespace

SocketCloser::~SocketCloser() {
    if (fd_ >= 0) close(fd_);
}

bool ResolveEchoHost(const char* host, in_addr_t* address) {
    if (!HostTextAcceptable(host)) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    bool ok = false;
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin;
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            *address = sin.sin_addr.s_addr;
            ok = true;
            break;
        }
    }
    freeaddrinfo(found);
    return ok;
}

std::int64_t EchoLimitMs(int timeoutSeconds) {
    return timeoutSeconds > 0 ? static_cast<std::int64_t>(timeoutSeconds) * 1000 : 0;
}

int OpenRawIcmpSocket() {
    const int fd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return -1;
    icmp_filter filter{};
    filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) |
                    (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    // Without the filter the probe still works, only with more wake-ups.
    (void)setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    return fd;
}

int OpenDatagramIcmpSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return -1;
    // Every ICMP error for the request then fails the next receive, not only
    // the "hard" ones; a time exceeded answer must end the probe as well.
    const int on = 1;
    if (setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int SendEcho(int fd, const void* data, std::size_t len, const sockaddr_in* to, std::int64_t limitMs,
             const EchoStop& stop) {
    const std::int64_t deadline = NowMs() + limitMs;
    for (;;) {
        const ssize_t sent = sendto(fd, data, len, 0, reinterpret_cast<const sockaddr*>(to),
                                    to != nullptr ? static_cast<socklen_t>(sizeof *to) : 0);
        if (sent == static_cast<ssize_t>(len)) return kEchoAnswered;
        if (sent >= 0) return kEchoFailed;
        const int err = errno;
        if (err == EINTR) continue;
        if (IsTimeOutErrno(err)) return kEchoTimedOut;
        if (err != EAGAIN && err != EWOULDBLOCK && err != ENOBUFS) return kEchoFailed;
        const std::int64_t remaining = deadline - NowMs();
        if (remaining <= 0) return kEchoTimedOut;
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, SliceWait(remaining, stop));
        if (ready < 0 && errno != EINTR) return kEchoFailed;
        if (ready == 0 && StopAsked(stop)) return kEchoStopped;
    }
}

int AwaitEcho(int fd, bool rawDatagrams, const EchoMatch& match, std::int64_t limitMs,
              const EchoStop& stop) {
    const std::int64_t deadline = NowMs() + limitMs;
    // Asked every slice, whether or not datagrams keep arriving: the hook
    // also keeps the caller's window served.
    std::int64_t nextAsk = NowMs() + kStopSliceMs;
    std::uint8_t buffer[kReceiveBufferSize];
    for (;;) {
        // Take everything already queued: on a raw socket that includes our
        // own request (to a local address) and other programs' replies.
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            const ssize_t got = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (got < 0) {
                const int err = errno;
                if (err == EAGAIN || err == EWOULDBLOCK) break;
                if (err == EINTR) continue;
                return IsTimeOutErrno(err) ? kEchoTimedOut : kEchoFailed;
            }
            const auto len = static_cast<std::size_t>(got);
            const EchoVerdict verdict =
                rawDatagrams ? ClassifyRawDatagram(buffer, len, match)
                             : ClassifyIcmp(buffer, len, from.sin_addr.s_addr, match);
            if (verdict == EchoVerdict::Reply) return kEchoAnswered;
            if (verdict == EchoVerdict::Refused) return kEchoFailed;
            if (NowMs() >= deadline) return kEchoTimedOut;
        }
        const std::int64_t remaining = deadline - NowMs();
        if (remaining <= 0) return kEchoTimedOut;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, SliceWait(remaining, stop));
        if (ready < 0 && errno != EINTR) return kEchoFailed;
        if (ready == 0 && !stop.hook) return kEchoTimedOut;
        if (stop.hook && NowMs() >= nextAsk) {
            if (StopAsked(stop)) return kEchoStopped;
            nextAsk = NowMs() + kStopSliceMs;
        }
    }
}

}  // namespace qg_probes

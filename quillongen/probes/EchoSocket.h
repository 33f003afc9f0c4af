// Socket side of the echo probes: host checking and resolution, opening the
// ICMP sockets, and sending and waiting against a time limit.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "EchoWire.h"
#include "quillongen/probes.h"

namespace qg_probes {

// Probe results, as the exported probes return them.
inline constexpr int kEchoAnswered = 1;
inline constexpr int kEchoTimedOut = -1;
inline constexpr int kEchoFailed = 0;
inline constexpr int kEchoStopped = -2;

// The caller's wish to give up a wait, asked between short slices of it. An
// empty one is never asked, and the waits then run in one piece.
struct EchoStop {
    QgStopHook hook = nullptr;
    void* context = nullptr;
};

// Longest host text accepted.
inline constexpr std::size_t kMaxHostLength = 255;

// Checks the host text and resolves it to one IPv4 address (network order).
// False for null, empty, over-long texts, texts with blanks, control or
// non-ASCII bytes, and names that do not resolve.
bool ResolveEchoHost(const char* host, in_addr_t* address);

// Time limit in milliseconds; 0 for a limit of 0 or less.
std::int64_t EchoLimitMs(int timeoutSeconds);

// Non-blocking, close-on-exec ICMP sockets; -1 when none can be had.
// The raw socket only lets echo replies and the ICMP errors that can quote a
// request through, so a busy host's other ICMP traffic does not wake us.
int OpenRawIcmpSocket();
int OpenDatagramIcmpSocket();

// Sends one datagram, waiting at most limitMs for room in the socket.
// kEchoAnswered when sent, kEchoTimedOut, kEchoStopped or kEchoFailed.
int SendEcho(int fd, const void* data, std::size_t len, const sockaddr_in* to, std::int64_t limitMs,
             const EchoStop& stop = {});

// Reads until the expected reply (kEchoAnswered), an ICMP error quoting the
// request or a socket error (kEchoFailed), the time limit (kEchoTimedOut), or
// the caller's stop (kEchoStopped). rawDatagrams: the socket hands back whole
// IPv4 datagrams.
int AwaitEcho(int fd, bool rawDatagrams, const EchoMatch& match, std::int64_t limitMs,
              const EchoStop& stop = {});

// Closes fd on scope exit.
class SocketCloser {
public:
    explicit SocketCloser(int fd) : fd_(fd) {}
    ~SocketCloser();
    SocketCloser(const SocketCloser&) = delete;
    SocketCloser& operator=(const SocketCloser&) = delete;

private:
    int fd_;
};

}  // namespace qg_probes

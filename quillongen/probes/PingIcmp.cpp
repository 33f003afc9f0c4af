// PingICMP: the echo-service probe the monitor uses, over an ICMP datagram
// socket where the system admits the caller, else over a raw socket.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "EchoSocket.h"
#include "EchoWire.h"
#include "quillongen/probes.h"

using namespace qg_probes;

namespace {

constexpr int kTimeToLive = 60;

// Sequence numbers tell this call's reply from a late one to an earlier call;
// 0 is left to Ping so that the two probes never answer for each other.
std::uint16_t NextSequence() {
    static std::atomic<std::uint16_t> counter{0};
    std::uint16_t seq;
    do {
        seq = static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
    } while (seq == 0);
    return seq;
}

int ProbeOverDatagram(int fd, in_addr_t destination, std::uint16_t sequence, std::int64_t limit,
                      const EchoStop& stop) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    // Connected, the socket only hears the destination, and errors for the
    // request fail the receive.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return kEchoFailed;
    std::uint8_t request[kEchoHeaderSize];
    BuildEmptyEchoRequest(request, 0, sequence);  // the kernel sets the identifier
    const int sent = SendEcho(fd, request, sizeof request, nullptr, limit, stop);
    if (sent != kEchoAnswered) return sent;
    sockaddr_in local{};
    socklen_t localLen = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) return kEchoFailed;
    const EchoMatch match{local.sin_port, sequence, true, destination, true};
    return AwaitEcho(fd, false, match, limit, stop);
}

int ProbeOverRaw(int fd, in_addr_t destination, std::uint16_t sequence, std::int64_t limit,
                 const EchoStop& stop) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const auto identifier = static_cast<std::uint16_t>(getpid() & 0xFFFF);
    std::uint8_t request[kEchoHeaderSize];
    BuildEmptyEchoRequest(request, identifier, sequence);
    const int sent = SendEcho(fd, request, sizeof request, &to, limit, stop);
    if (sent != kEchoAnswered) return sent;
    const EchoMatch match{identifier, sequence, true, destination, true};
    return AwaitEcho(fd, true, match, limit, stop);
}

}  // namespace

int PingICMP(const char* host, int timeoutSeconds) {
    return PingICMPStoppable(host, timeoutSeconds, nullptr, nullptr);
}

int PingICMPStoppable(const char* host, int timeoutSeconds, QgStopHook stopHook, void* context) {
    in_addr_t destination = 0;
    if (!ResolveEchoHost(host, &destination)) return kEchoFailed;
    if (destination == INADDR_NONE || destination == INADDR_ANY) return kEchoFailed;

    bool raw = false;
    int fd = OpenDatagramIcmpSocket();
    if (fd < 0) {
        fd = OpenRawIcmpSocket();
        raw = true;
    }
    if (fd < 0) return kEchoFailed;
    SocketCloser closer(fd);

    const int ttl = kTimeToLive;
    if (setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0) return kEchoFailed;
    const std::int64_t limit = EchoLimitMs(timeoutSeconds);
    const std::uint16_t sequence = NextSequence();
    const EchoStop stop{stopHook, context};
    return raw ? ProbeOverRaw(fd, destination, sequence, limit, stop)
               : ProbeOverDatagram(fd, destination, sequence, limit, stop);
}

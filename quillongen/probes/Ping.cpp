// Ping: the raw-socket echo probe with its fixed 44-byte request.
#include <netinet/in.h>
#include <unistd.h>

#include <cstdint>

#include "EchoSocket.h"
#include "EchoWire.h"
#include "quillongen/probes.h"

using namespace qg_probes;

int Ping(const char* host, int timeoutSeconds) {
    in_addr_t destination = 0;
    if (!ResolveEchoHost(host, &destination)) return kEchoFailed;
    const int fd = OpenRawIcmpSocket();
    if (fd < 0) return kEchoFailed;
    SocketCloser closer(fd);

    const auto identifier = static_cast<std::uint16_t>(getpid() & 0xFFFF);
    std::uint8_t request[kEchoRequestSize];
    BuildEchoRequest(request, identifier, 0, TickCount());

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const std::int64_t limit = EchoLimitMs(timeoutSeconds);
    const int sent = SendEcho(fd, request, sizeof request, &to, limit);
    if (sent != kEchoAnswered) return sent;

    // The raw socket sees every ICMP message of the host, so any reply with
    // this process's identifier is ours; the sequence number is always 0.
    const EchoMatch match{identifier, 0, false, destination, false};
    return AwaitEcho(fd, true, match, limit);
}

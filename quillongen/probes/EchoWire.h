// ICMP echo wire format shared by the two echo probes: the checksum, the
// request datagram and the sorting of what a socket hands back.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace qg_probes {

inline constexpr std::size_t kEchoHeaderSize = 8;
inline constexpr std::size_t kEchoFillSize = 32;
inline constexpr std::size_t kEchoRequestSize = kEchoHeaderSize + 4 + kEchoFillSize;  // 44
inline constexpr std::uint8_t kEchoFillByte = 0x45;

// Internet checksum (RFC 1071) over len bytes, words taken as they lie in
// memory; the result is stored the same way, so it verifies on any byte order.
std::uint16_t InternetChecksum(const void* data, std::size_t len);

// Writes the 44-byte request of the raw probe into out.
void BuildEchoRequest(std::uint8_t* out, std::uint16_t identifier, std::uint16_t sequence,
                      std::uint32_t sendTime);

// Writes an 8-byte echo request without payload (checksum filled in).
void BuildEmptyEchoRequest(std::uint8_t* out, std::uint16_t identifier, std::uint16_t sequence);

// Milliseconds since system start, truncated to 32 bits.
std::uint32_t TickCount();

// What one received ICMP message means to a probe waiting for its reply.
enum class EchoVerdict {
    Unrelated,  // someone else's traffic, our own request, or junk: keep reading
    Reply,      // the echo reply we wait for
    Refused,    // an ICMP error that quotes our request
};

struct EchoMatch {
    std::uint16_t identifier;
    std::uint16_t sequence;
    bool checkSequence;     // false: any sequence number is the probe's
    in_addr_t destination;  // network order; the address the request went to
    bool checkReplySource;  // true: a reply must come from the destination
};

// Classifies an ICMP message (starting at its type byte) that came from
// source (network order).
EchoVerdict ClassifyIcmp(const std::uint8_t* icmp, std::size_t len, in_addr_t source,
                         const EchoMatch& match);

// Classifies a raw-socket datagram, which begins with its IPv4 header.
EchoVerdict ClassifyRawDatagram(const std::uint8_t* data, std::size_t len, const EchoMatch& match);

}  // namespace qg_probes

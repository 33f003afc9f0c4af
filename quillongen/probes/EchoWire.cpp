// ICMP echo wire format: checksum, request building and reply sorting.
#include "EchoWire.h"

#include <time.h>

#include <cstring>

namespace qg_probes {
namespace {

constexpr std::uint8_t kTypeEchoReply = 0;
constexpr std::uint8_t kTypeUnreachable = 3;
constexpr std::uint8_t kTypeEchoRequest = 8;
constexpr std::uint8_t kTypeTimeExceeded = 11;
constexpr std::uint8_t kTypeParameterProblem = 12;
constexpr std::size_t kMinIpHeader = 20;

std::uint16_t Load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

in_addr_t LoadAddr(const std::uint8_t* p) {
    in_addr_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void StoreChecksum(std::uint8_t* icmp, std::size_t len) {
    icmp[2] = 0;
    icmp[3] = 0;
    const std::uint16_t sum = InternetChecksum(icmp, len);
    std::memcpy(icmp + 2, &sum, sizeof sum);
}

// An IPv4 header at data, its length if it is plausible and fits, else 0.
std::size_t IpHeaderLength(const std::uint8_t* data, std::size_t len) {
    if (len < kMinIpHeader || (data[0] >> 4) != 4) return 0;
    const std::size_t ihl = static_cast<std::size_t>(data[0] & 0x0F) * 4;
    if (ihl < kMinIpHeader || ihl > len) return 0;
    return ihl;
}

bool QuotesOurRequest(const std::uint8_t* quoted, std::size_t len, const EchoMatch& match) {
    const std::size_t ihl = IpHeaderLength(quoted, len);
    if (ihl == 0 || len < ihl + kEchoHeaderSize) return false;
    if (quoted[9] != IPPROTO_ICMP) return false;
    if (LoadAddr(quoted + 16) != match.destination) return false;
    const std::uint8_t* req = quoted + ihl;
    if (req[0] != kTypeEchoRequest) return false;
    if (Load16(req + 4) != match.identifier) return false;
    return !match.checkSequence || Load16(req + 6) == match.sequence;
}

}  // namespace

std::uint16_t InternetChecksum(const void* data, std::size_t len) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t sum = 0;
    for (; len > 1; len -= 2, p += 2) sum += Load16(p);
    if (len == 1) sum += *p;
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void BuildEchoRequest(std::uint8_t* out, std::uint16_t identifier, std::uint16_t sequence,
                      std::uint32_t sendTime) {
    std::memset(out, 0, kEchoRequestSize);
    out[0] = kTypeEchoRequest;
    out[1] = 0;
    std::memcpy(out + 4, &identifier, sizeof identifier);
    std::memcpy(out + 6, &sequence, sizeof sequence);
    std::memcpy(out + 8, &sendTime, sizeof sendTime);
    std::memset(out + 12, kEchoFillByte, kEchoFillSize);
    StoreChecksum(out, kEchoRequestSize);
}

void BuildEmptyEchoRequest(std::uint8_t* out, std::uint16_t identifier, std::uint16_t sequence) {
    std::memset(out, 0, kEchoHeaderSize);
    out[0] = kTypeEchoRequest;
    std::memcpy(out + 4, &identifier, sizeof identifier);
    std::memcpy(out + 6, &sequence, sizeof sequence);
    StoreChecksum(out, kEchoHeaderSize);
}

EchoVerdict ClassifyIcmp(const std::uint8_t* icmp, std::size_t len, in_addr_t source,
                         const EchoMatch& match) {
    if (len < kEchoHeaderSize) return EchoVerdict::Unrelated;
    switch (icmp[0]) {
        case kTypeEchoReply:
            if (Load16(icmp + 4) != match.identifier) return EchoVerdict::Unrelated;
            if (match.checkSequence && Load16(icmp + 6) != match.sequence) {
                return EchoVerdict::Unrelated;
            }
            if (match.checkReplySource && source != match.destination) {
                return EchoVerdict::Unrelated;
            }
            return EchoVerdict::Reply;
        case kTypeUnreachable:
        case kTypeTimeExceeded:
        case kTypeParameterProblem:
            return QuotesOurRequest(icmp + kEchoHeaderSize, len - kEchoHeaderSize, match)
                       ? EchoVerdict::Refused
                       : EchoVerdict::Unrelated;
        default:
            return EchoVerdict::Unrelated;
    }
}

EchoVerdict ClassifyRawDatagram(const std::uint8_t* data, std::size_t len, const EchoMatch& match) {
    const std::size_t ihl = IpHeaderLength(data, len);
    if (ihl == 0 || len < ihl + kEchoHeaderSize) return EchoVerdict::Unrelated;
    return ClassifyIcmp(data + ihl, len - ihl, LoadAddr(data + 12), match);
}

}  // namespace qg_probes

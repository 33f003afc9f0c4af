// Echo probes against loopback and against a namespace built by the test.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SilentHostNamespace.h"
#include "fakes/Loopback.h"
#include "quillongen/probes.h"

extern char** environ;

namespace {

// Every datagram a raw ICMP socket sees while it is open.
class IcmpCapture {
public:
    IcmpCapture() : fd_(socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP)) {}
    ~IcmpCapture() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // Whole IPv4 datagrams queued so far.
    std::vector<std::vector<std::uint8_t>> Drain() {
        std::vector<std::vector<std::uint8_t>> out;
        std::uint8_t buf[2048];
        for (;;) {
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.emplace_back(buf, buf + n);
        }
        return out;
    }

private:
    int fd_;
};

std::uint16_t Word(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct EchoRequestSeen {
    std::vector<std::uint8_t> icmp;
    int ttl = 0;
};

// Our echo requests to 127.0.0.1 among the captured datagrams.
std::vector<EchoRequestSeen> RequestsToLoopback(
    const std::vector<std::vector<std::uint8_t>>& datagrams) {
    std::vector<EchoRequestSeen> out;
    const in_addr_t loopback = htonl(INADDR_LOOPBACK);
    for (const auto& d : datagrams) {
        if (d.size() < 28) continue;
        const std::size_t ihl = static_cast<std::size_t>(d[0] & 0x0F) * 4;
        in_addr_t dst;
        std::memcpy(&dst, d.data() + 16, sizeof dst);
        if (dst != loopback || d.size() < ihl + 8 || d[ihl] != 8) continue;
        out.push_back({std::vector<std::uint8_t>(d.begin() + ihl, d.end()), d[8]});
    }
    return out;
}

TEST(EchoProbes, LoopbackAnswersBothProbes) {
    EXPECT_EQ(1, PingICMP("127.0.0.1", 1));
    EXPECT_EQ(1, Ping("127.0.0.1", 1));
    EXPECT_EQ(1, PingICMP("localhost", 2));
    EXPECT_EQ(1, Ping("localhost", 2));
    // Repeated probes each find their own reply.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(1, PingICMP("127.0.0.1", 1));
        EXPECT_EQ(1, Ping("127.0.0.1", 1));
    }
}

TEST(EchoProbes, OtherProgramsRepliesDoNotHideOurs) {
    // A flood ping fills every raw ICMP socket with replies that are not ours,
    // so they reach the probe before and after its own.
    pid_t flood = -1;
    const char* argv[] = {"ping", "-f", "-q", "-w", "20", "127.0.0.1", nullptr};
    ASSERT_EQ(0, posix_spawnp(&flood, "ping", nullptr, nullptr, const_cast<char**>(argv), environ));
    usleep(100000);
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        answered += Ping("127.0.0.1", 2) == 1;
        answered += PingICMP("127.0.0.1", 2) == 1;
    }
    kill(flood, SIGTERM);
    waitpid(flood, nullptr, 0);
    EXPECT_EQ(40, answered);
}

TEST(EchoProbes, RequestsOnTheWire) {
    IcmpCapture capture;
    ASSERT_TRUE(capture.ok()) << "a raw socket is needed to watch the requests";
    ASSERT_EQ(1, Ping("127.0.0.1", 1));
    ASSERT_EQ(1, PingICMP("127.0.0.1", 1));
    const auto id = static_cast<std::uint16_t>(getpid() & 0xFFFF);
    bool pingSeen = false;
    bool pingIcmpSeen = false;
    for (const auto& r : RequestsToLoopback(capture.Drain())) {
        // PingICMP: empty payload, time-to-live 60.
        if (r.icmp.size() == 8 && r.ttl == 60) pingIcmpSeen = true;
        if (r.icmp.size() != 44 || Word(r.icmp.data() + 4) != id) continue;
        // Ping: the fixed 44 bytes, summing to 0xFFFF with end-around carry.
        pingSeen = true;
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < r.icmp.size(); i += 2) sum += Word(r.icmp.data() + i);
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        EXPECT_EQ(0xFFFFu, sum);
        EXPECT_EQ(0, r.icmp[1]);
        EXPECT_EQ(0, Word(r.icmp.data() + 6));
        for (std::size_t i = 12; i < 44; ++i) EXPECT_EQ(0x45, r.icmp[i]) << "at " << i;
    }
    EXPECT_TRUE(pingSeen) << "no 44-byte request with this process's identifier went out";
    EXPECT_TRUE(pingIcmpSeen) << "no 8-byte echo request with TTL 60 went out";
}

TEST(EchoProbes, UnusableHostsFailAtOnceWithoutTimingOut) {
    const std::string tooLong(256, 'a');
    const char* hosts[] = {tarnwatch::fakes::kUnresolvableHost,
                           "",
                           " 127.0.0.1",
                           "127.0.0.1 ",
                           "127.0.0.1\t",
                           "h\xC3\xA4st",
                           tooLong.c_str()};
    for (const char* host : hosts) {
        // A wait for the time limit would give -1, not 0.
        EXPECT_EQ(0, PingICMP(host, 5)) << "[" << host << "]";
        EXPECT_EQ(0, Ping(host, 5)) << "[" << host << "]";
    }
    EXPECT_EQ(0, PingICMP(nullptr, 5));
    EXPECT_EQ(0, Ping(nullptr, 5));
}

TEST(EchoProbes, AnyAddressIsRefusedByPingIcmpButSentByPing) {
    EXPECT_EQ(0, PingICMP("0.0.0.0", 5));
    // The local host answers for 0.0.0.0.
    EXPECT_EQ(1, Ping("0.0.0.0", 2));
}

TEST(EchoProbes, ZeroOrNegativeLimitNeverBlocks) {
    for (int limit : {0, -1, -2147483647 - 1}) {
        const int icmp = PingICMP("127.0.0.1", limit);
        EXPECT_TRUE(icmp == 1 || icmp == -1) << icmp;
        const int raw = Ping("127.0.0.1", limit);
        EXPECT_TRUE(raw == 1 || raw == -1) << raw;
    }
}

class EchoNamespace : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ns_ = new SilentHostNamespace(); }
    static void TearDownTestSuite() {
        delete ns_;
        ns_ = nullptr;
    }
    void SetUp() override {
        if (!ns_->failure().empty()) GTEST_SKIP() << "no test namespace: " << ns_->failure();
    }
    static SilentHostNamespace* ns_;
};

SilentHostNamespace* EchoNamespace::ns_ = nullptr;

TEST_F(EchoNamespace, SilentHostTimesOut) {
    EXPECT_EQ(-1, PingICMP(ns_->silentAddress().c_str(), 1));
    EXPECT_EQ(-1, Ping(ns_->silentAddress().c_str(), 1));
}

TEST_F(EchoNamespace, StoppableProbeGivesUpWhenAskedAndIsPingIcmpOtherwise) {
    int asked = 0;
    const QgStopHook stopOnThird = [](void* context) {
        return ++*static_cast<int*>(context) >= 3 ? 1 : 0;
    };
    EXPECT_EQ(-2, PingICMPStoppable(ns_->silentAddress().c_str(), 30, stopOnThird, &asked));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(1, PingICMPStoppable(ns_->localAddress().c_str(), 2, stopOnThird, &asked));
    EXPECT_EQ(-1, PingICMPStoppable(ns_->silentAddress().c_str(), 1, nullptr, nullptr));
}

TEST_F(EchoNamespace, IcmpErrorForTheRequestEndsTheProbeWithFailure) {
    // The namespace answers with "prohibited"; waiting out the limit would
    // give -1 instead.
    EXPECT_EQ(0, Ping(ns_->refusedAddress().c_str(), 5));
    EXPECT_EQ(0, PingICMP(ns_->refusedAddress().c_str(), 5));
}

TEST_F(EchoNamespace, PeerBeyondTheLinkAnswers) {
    EXPECT_EQ(1, PingICMP(ns_->localAddress().c_str(), 2));
    EXPECT_EQ(1, Ping(ns_->localAddress().c_str(), 2));
}

// In a child inside the namespace, without the raw-socket capability: the
// datagram socket is the only way out, and ping_group_range decides.
int ChildProbeWithoutRawSockets(const std::string& ns, const char* groupRange,
                                const std::string& target) {
    const int nsFd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) return 100;
    close(nsFd);
    const int sysctl = open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC);
    if (sysctl < 0) return 101;
    const ssize_t w = write(sysctl, groupRange, std::strlen(groupRange));
    close(sysctl);
    if (w < 0) return 102;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return 103;
    data[0].effective &= ~(1u << CAP_NET_RAW);
    data[0].permitted &= ~(1u << CAP_NET_RAW);
    if (syscall(SYS_capset, &header, data) != 0) return 104;
    return PingICMP(target.c_str(), 2) + 1;  // 0, 1 or 2
}

int RunInChild(const std::string& ns, const char* groupRange, const std::string& target) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) _exit(ChildProbeWithoutRawSockets(ns, groupRange, target));
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 200;
    return WEXITSTATUS(status);
}

TEST_F(EchoNamespace, DatagramSocketServesPingIcmpWhereTheGroupIsAdmitted) {
    // exit code = PingICMP result + 1; 100+ = the child could not be set up.
    EXPECT_EQ(2, RunInChild(ns_->name(), "0 2147483647", ns_->localAddress()));
    EXPECT_EQ(1, RunInChild(ns_->name(), "1 0", ns_->localAddress()))
        << "with neither socket kind available the probe must fail, not time out";
}

}  // namespace

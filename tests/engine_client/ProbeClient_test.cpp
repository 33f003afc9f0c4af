// The probe client against real loopback peers: the agent conversation and
// its exact bytes, agents that lie, stall or flood, and failed connects.
#include "engine/ProbeClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine_client/LoopbackAgent.h"
#include "fakes/FakePorts.h"
#include "fakes/Loopback.h"

namespace tarnwatch {
namespace {

using testing::LoopbackAgent;
using testing::MessageBytes;

// Plays the main window: timer 138 marks the time-out and tells the client.
struct TimeoutRouter : TimerSink {
    CClientThread* client = nullptr;
    int networkTimeoutSeen = 0;
    void OnTimer(int id) override {
        if (id != kTimerNetworkTimeout) return;
        networkTimeoutSeen = 1;
        if (client) client->OnTimeout();
    }
};

class ProbeClientTest : public ::testing::Test {
protected:
    ProbeClientTest() : platform(true), client(platform.ports) {
        router.client = &client;
        platform.timers.SetSink(&router);
    }
    fakes::FakePlatform platform;
    CClientThread client;
    TimeoutRouter router;
};

// The bytes a client puts on the wire, written out by hand.
const std::string kHelloBytes("\x00\x00\x05HELLO\x00\x00", 10);
const std::string kVorlanBytes("\x00\x00\x06VORLAN\x00\x00", 11);
const std::string kByeBytes(
    "\x01\x00\x03"
    "BYE\x00\x00",
    8);

// An agent that answers HELLO and VORLAN with the given lines and closes
// after BYE.
LoopbackAgent::Handler Answering(std::vector<std::string> ack, std::vector<std::string> figure) {
    return [ack, figure](int fd, LoopbackAgent& agent) {
        CMsgClient m;
        while (agent.ReadMessage(fd, m)) {
            if (m.text == "HELLO") LoopbackAgent::Send(fd, MessageBytes(0, "", ack));
            if (m.text == "VORLAN") LoopbackAgent::Send(fd, MessageBytes(0, "", figure));
            if (m.closeFlag) break;
        }
        agent.ReadToEnd(fd);
    };
}

TEST_F(ProbeClientTest, AgentConversationPutsExactBytesOnTheWire) {
    LoopbackAgent agent(Answering({"CONNECTED"}, {"12:34"}));
    ASSERT_EQ(client.Connect(agent.port(), "127.0.0.1", 5), 1);
    EXPECT_EQ(client.conversationState(), kConversationConnected);

    client.SendRequest("HELLO");
    EXPECT_EQ(client.conversationState(), kConversationAcknowledged);
    EXPECT_EQ(client.status(), "CONNECTED");
    client.SendRequest("VORLAN");
    EXPECT_EQ(client.conversationState(), kConversationFigureReceived);
    EXPECT_EQ(client.status(), "12:34");
    EXPECT_FALSE(client.cancelled());
    client.Disconnect();
    EXPECT_EQ(client.conversationState(), kConversationClosed);
    EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));

    agent.Join();
    EXPECT_EQ(agent.Received(), kHelloBytes + kVorlanBytes + kByeBytes);
    EXPECT_TRUE(agent.sawEnd());
    EXPECT_EQ(router.networkTimeoutSeen, 0);
}

TEST_F(ProbeClientTest, HostNamesAndIpv6LiteralsConnect) {
    LoopbackAgent agent(Answering({"CONNECTED"}, {"00:01"}));
    ASSERT_EQ(client.Connect(agent.port(), "localhost", 5), 1) << client.status();
    client.Disconnect();
    agent.Join();
    EXPECT_EQ(agent.Received(), kByeBytes);

    // An IPv6 literal goes through the same path; with no listener on ::1
    // the port is closed there (or IPv6 is off): never "ok", never a hang.
    CClientThread v6(platform.ports);
    EXPECT_EQ(v6.Connect(agent.port(), "::1", 2), 0);
    EXPECT_TRUE(v6.status() == "unavailable" || v6.status() == "unresolved") << v6.status();
}

TEST_F(ProbeClientTest, RepliesOfTheWrongFormAreUnavailable) {
    struct Case {
        std::vector<std::string> ack, figure;
        const char* statusAfterHello;
        const char* statusAfterVorlan;
    };
    const Case cases[] = {
        // Lower case is not an acknowledgement, yet the figure is still asked for.
        {{"connected"}, {"12:34"}, "unavailable", "12:34"},
        {{"CONNECTED"}, {"12"}, "CONNECTED", "unavailable"},
        {{"CONNECTED"}, {"1234"}, "CONNECTED", "unavailable"},
        {{"CONNECTED"}, {"up 3:45"}, "CONNECTED", "up 3:45"},
        // A line after the acknowledgement leaves it unacknowledged.
        {{"CONNECTED", "extra"}, {"12:34"}, "unavailable", "12:34"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ack[0] + " / " + c.figure[0]);
        LoopbackAgent agent(Answering(c.ack, c.figure));
        CClientThread probe(platform.ports);
        router.client = &probe;
        ASSERT_EQ(probe.Connect(agent.port(), "127.0.0.1", 5), 1);
        probe.SendRequest("HELLO");
        EXPECT_EQ(probe.status(), c.statusAfterHello);
        probe.SendRequest("VORLAN");
        EXPECT_EQ(probe.status(), c.statusAfterVorlan);
        EXPECT_FALSE(probe.cancelled());
        probe.Disconnect();
        agent.Join();
        EXPECT_EQ(agent.Received(), kHelloBytes + kVorlanBytes + kByeBytes);
        router.client = &client;
    }
}

TEST_F(ProbeClientTest, SilentAgentTimesOutAndTheConnectionIsClosed) {
    LoopbackAgent agent([](int fd, LoopbackAgent& a) { a.ReadToEnd(fd); });
    ASSERT_EQ(client.Connect(agent.port(), "127.0.0.1", 1), 1);
    client.SendRequest("HELLO");
    EXPECT_TRUE(client.cancelled());
    EXPECT_EQ(router.networkTimeoutSeen, 1);
    // The cancelled read fails afterwards and closes the connection.
    EXPECT_EQ(client.status(), "unavailable");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));
    agent.Join();
    EXPECT_TRUE(agent.sawEnd());
    EXPECT_EQ(agent.Received(), kHelloBytes);

    // Nothing more goes out on a closed connection.
    client.SendRequest("VORLAN");
    client.Disconnect();
    EXPECT_EQ(client.conversationState(), kConversationClosed);
}

TEST_F(ProbeClientTest, AgentsThatCloseEarlyOrSendGarbageAreUnavailable) {
    const std::vector<std::string> answers = {
        std::string(),                                           // closes at once
        std::string("\x00\x00\x05HEL", 6),                       // closes mid-message
        std::string("\x00\x00\xff\xff\xff\xff\xff\xff\x7f", 9),  // a 2 GiB text
        std::string("\x00\x00\x00\xff\xff\xff\xff\xff\xff", 9),  // 4 billion lines
        std::string("\x00\x00\x00\x02\x00\x01"
                    "A\xff\xfe\xff",
                    10) +
            std::string(1, '\x7f'),
    };
    for (const std::string& answer : answers) {
        SCOPED_TRACE(answer.size());
        LoopbackAgent agent([answer](int fd, LoopbackAgent& a) {
            CMsgClient m;
            a.ReadMessage(fd, m);
            LoopbackAgent::Send(fd, answer);
            shutdown(fd, SHUT_WR);
            a.ReadToEnd(fd);
        });
        CClientThread probe(platform.ports);
        router.client = &probe;
        ASSERT_EQ(probe.Connect(agent.port(), "127.0.0.1", 5), 1);
        probe.SendRequest("HELLO");
        EXPECT_EQ(probe.status(), "unavailable");
        EXPECT_FALSE(probe.IsConnected());
        EXPECT_FALSE(probe.cancelled());
        probe.Disconnect();
        router.client = &client;
    }
}

TEST_F(ProbeClientTest, MessagesWithoutLinesAndCloseFlagsAreHonoured) {
    // An empty message does not end the wait; a close flag drops the line
    // after the reply is handled.
    LoopbackAgent agent([](int fd, LoopbackAgent& a) {
        CMsgClient m;
        a.ReadMessage(fd, m);
        LoopbackAgent::Send(fd, MessageBytes(0, "noise", {}) + MessageBytes(1, "", {"CONNECTED"}));
        a.ReadToEnd(fd);
    });
    ASSERT_EQ(client.Connect(agent.port(), "127.0.0.1", 5), 1);
    client.SendRequest("HELLO");
    EXPECT_EQ(client.status(), "CONNECTED");
    EXPECT_EQ(client.conversationState(), kConversationAcknowledged);
    EXPECT_FALSE(client.IsConnected());
    client.Disconnect();
    agent.Join();
    // No goodbye on a connection the agent has ended.
    EXPECT_EQ(agent.Received(), kHelloBytes);
}

TEST_F(ProbeClientTest, UnicodeRepliesAreTakenAsEightBitText) {
    std::string reply("\x00\x00\x00\x01\x00\xff\xfe\xff\x05", 9);
    for (char c : std::string("12:34")) reply += std::string{c, '\0'};
    LoopbackAgent agent([reply](int fd, LoopbackAgent& a) {
        CMsgClient m;
        a.ReadMessage(fd, m);
        LoopbackAgent::Send(fd, reply);
        a.ReadToEnd(fd);
    });
    ASSERT_EQ(client.Connect(agent.port(), "127.0.0.1", 5), 1);
    client.SendRequest("VORLAN");
    EXPECT_EQ(client.status(), "12:34");
    EXPECT_EQ(client.conversationState(), kConversationFigureReceived);
    client.Disconnect();
}

TEST_F(ProbeClientTest, AgentThatKeepsItsSideOpenAfterByeCannotHoldTheDrain) {
    LoopbackAgent agent([](int fd, LoopbackAgent& a) {
        CMsgClient m;
        while (a.ReadMessage(fd, m) && !m.closeFlag) {
        }
        // Keeps talking and never closes until the test is over.
        for (int i = 0; i < 200; ++i) LoopbackAgent::Send(fd, "chatter");
        a.WaitForRelease();
    });
    ASSERT_EQ(client.Connect(agent.port(), "127.0.0.1", 1), 1);
    client.Disconnect();
    EXPECT_EQ(client.conversationState(), kConversationClosed);
    EXPECT_FALSE(client.IsConnected());
    agent.Release();
    agent.Join();
    EXPECT_EQ(agent.Received(), kByeBytes);
}

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

TEST_F(ProbeClientTest, FailedConnectsGiveTheirStatusTexts) {
    EXPECT_EQ(client.Connect(ClosedPort(), "127.0.0.1", 5), 0);
    EXPECT_EQ(client.status(), "unavailable");
    EXPECT_FALSE(client.cancelled());

    CClientThread unknown(platform.ports);
    EXPECT_EQ(unknown.Connect(700, fakes::kUnresolvableHost, 5), 0);
    EXPECT_EQ(unknown.status(), "unresolved");

    CClientThread empty(platform.ports);
    EXPECT_EQ(empty.Connect(700, "", 5), 0);
    EXPECT_EQ(empty.status(), "unresolved");

    CClientThread tooHigh(platform.ports);
    EXPECT_EQ(tooHigh.Connect(70000, "127.0.0.1", 5), 0);
    EXPECT_EQ(tooHigh.status(), "unavailable");
    EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));
}

TEST(ConnectErrorStatus, MapsErrnoToTheStatusClasses) {
    EXPECT_EQ(ConnectErrorStatus(EINVAL), IDS_UNRESOLVED);
    EXPECT_EQ(ConnectErrorStatus(EADDRNOTAVAIL), IDS_UNRESOLVED);
    EXPECT_EQ(ConnectErrorStatus(EHOSTUNREACH), IDS_UNRESOLVED);
    EXPECT_EQ(ConnectErrorStatus(ETIMEDOUT), IDS_TIMEDOUT);
    EXPECT_EQ(ConnectErrorStatus(ECONNREFUSED), IDS_UNAVAILABLE);
    EXPECT_EQ(ConnectErrorStatus(ENETUNREACH), IDS_UNAVAILABLE);
    EXPECT_EQ(ConnectErrorStatus(ECANCELED), IDS_UNAVAILABLE);
}

TEST_F(ProbeClientTest, ConnectThatNeverCompletesIsCancelledAsUnavailable) {
    // A listener whose accept queue is full drops further handshakes, so the
    // connect waits until our own time-out cancels it.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 16; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) continue;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 200) == 0) break;  // this one hangs: the queue is full
    }
    EXPECT_EQ(client.Connect(ntohs(a.sin_port), "127.0.0.1", 1), 0);
    EXPECT_EQ(client.status(), "unavailable");
    EXPECT_TRUE(client.cancelled());
    EXPECT_EQ(router.networkTimeoutSeen, 1);
    EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));
    for (int fd : fillers) close(fd);
    close(listener);
}

TEST_F(ProbeClientTest, PortZeroCountsAsConnectedWithoutTraffic) {
    for (int port : {0, -5}) {
        CClientThread probe(platform.ports);
        EXPECT_EQ(probe.Connect(port, fakes::kUnresolvableHost, 3), 1);
        EXPECT_FALSE(probe.IsConnected());
        EXPECT_EQ(probe.timeoutMs(), 3000);
        probe.SendRequest("HELLO");
        EXPECT_EQ(probe.status(), "");
        EXPECT_FALSE(platform.timers.IsArmed(kTimerNetworkTimeout));
        probe.Disconnect();
        EXPECT_EQ(probe.conversationState(), kConversationClosed);
    }
}

TEST(ProbeClientWithoutTimer, OwnDeadlineStillEndsASilentWait) {
    // No timer port at all: the client's own clock ends the wait.
    Ports none;
    CClientThread probe(none);
    LoopbackAgent agent([](int fd, LoopbackAgent& a) { a.ReadToEnd(fd); });
    ASSERT_EQ(probe.Connect(agent.port(), "127.0.0.1", 0), 1);
    probe.SendRequest("VORLAN");
    EXPECT_TRUE(probe.cancelled());
    EXPECT_EQ(probe.status(), "unavailable");
}

}  // namespace
}  // namespace tarnwatch

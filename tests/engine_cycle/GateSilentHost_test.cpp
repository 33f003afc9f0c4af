// The Internet gate with a first address that never answers: a host in a
// network namespace built for the test ignores echo requests, so its ping
// runs out its five seconds and the second address decides.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "CycleFixture.h"
#include "quillongen_probes/SilentHostNamespace.h"

namespace tarnwatch::cycle {
namespace {

// Echo requests that have reached the namespace so far, from its own ICMP
// counters; -1 when they cannot be read.
long EchoRequestsSeen(const std::string& ns) {
    FILE* p = popen(("ip netns exec " + ns + " cat /proc/net/snmp").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) text += buf;
    pclose(p);
    // "IcmpMsg: ... InType8 ..." then a line of values in the same order.
    std::istringstream lines(text);
    std::string names, values;
    while (std::getline(lines, names)) {
        if (names.rfind("IcmpMsg:", 0) != 0) continue;
        std::getline(lines, values);
        std::istringstream n(names), v(values);
        std::string name, value;
        while (n >> name && v >> value) {
            if (name == "InType8") return std::stol(value);
        }
        return 0;
    }
    return 0;  // no ICMP message has come in yet
}

class GateSilentHost : public CycleTest {};

TEST_F(GateSilentHost, SecondAddressAnswersAfterTheFirstTimesOutForEachGatedEntry) {
    SilentHostNamespace ns;
    if (!ns.failure().empty()) GTEST_SKIP() << "no test namespace: " << ns.failure();

    const std::string silent = ns.silentAddress();
    Start({EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("2").CheckInternet(1),
           EntryBytes(kSourceNone, "", "127.0.0.1").Timeout("2").CheckInternet(1)},
          [&](GlobalSettings& s) {
              s.internetAddressCount = 2;
              CopyText(s.internetAddresses[0], silent.c_str());
              CopyText(s.internetAddresses[1], "127.0.0.1");
              s.internetAlerts.messageBoxMode = 2;
          });
    const long before = EchoRequestsSeen(ns.name());
    Pass();
    EXPECT_EQ(engine->InternetState(), kStateAvailable);
    EXPECT_TRUE(platform->messageBox.shown.empty());
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(Record(r).attempt, 1);
        EXPECT_EQ(engine->Rows()[static_cast<std::size_t>(r)].cells[kColStatus], "ok");
    }
    // The silent host was asked again for the second entry: nothing is
    // remembered between gated entries.
    ASSERT_GE(before, 0);
    EXPECT_EQ(EchoRequestsSeen(ns.name()) - before, 2);
}

// A close asked for while a ping waits for a host that never answers ends
// the wait at once, in the test of a Ping entry and in the Internet gate:
// nothing is judged, moved or alerted on.
TEST_F(GateSilentHost, CloseDuringAPingEndsTheWaitAndJudgesNothing) {
    SilentHostNamespace ns;
    if (!ns.failure().empty()) GTEST_SKIP() << "no test namespace: " << ns.failure();
    const std::string silent = ns.silentAddress();
    auto passWithCloseAfter = [&](int pumpsBeforeClose) {
        int pumps = 0;
        platform->pump.hook = [&] {
            if (++pumps == pumpsBeforeClose) engine->RequestClose();
        };
        const auto begin = std::chrono::steady_clock::now();
        Pass();
        EXPECT_GE(pumps, pumpsBeforeClose) << "the ping waited without serving the pump";
        // The ping allows 20 s; a close must not wait for that.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    };

    Start(
        {EntryBytes(kSourceNone, "", silent).Timeout("20").Batch(1, Mark("failed @A"), ""),
         EntryBytes(kSourceNone, "", "127.0.0.1")},
        [](GlobalSettings& s) { s.autoMove = 1; }, true);
    passWithCloseAfter(5);
    EXPECT_EQ(Addresses(), (std::vector<std::string>{silent, "127.0.0.1"}));
    EXPECT_EQ(Status(0), "unknown");
    EXPECT_EQ(Record(0).attempt, 0);
    EXPECT_EQ(Record(0).state, kStateUntested);
    EXPECT_EQ(Status(1), "unknown") << "the pass goes on after the close";
    EXPECT_TRUE(TakeMarks().empty());

    // The gate's five seconds on the silent address are cut short as well,
    // without the Internet alerts a failed check would raise.
    Start(
        {EntryBytes(kSourceNone, "", "127.0.0.1").CheckInternet(1)},
        [&](GlobalSettings& s) {
            CopyText(s.internetAddresses[0], silent.c_str());
            s.internetAlerts.messageBoxMode = 2;
            s.internetAlerts.batch.batchMode = 2;
            CopyText(s.internetAlerts.batch.failedCommand, Mark("internet").c_str());
            s.internetAlerts.batch.failedCommandWait = 1;
        },
        true);
    passWithCloseAfter(5);
    EXPECT_EQ(engine->InternetState(), kStateUntested);
    EXPECT_TRUE(platform->messageBox.shown.empty());
    EXPECT_TRUE(TakeMarks().empty());
    EXPECT_EQ(Record(0).attempt, 0);
}

}  // namespace
}  // namespace tarnwatch::cycle

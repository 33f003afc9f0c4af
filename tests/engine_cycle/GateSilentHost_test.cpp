// The Internet gate with a first address that never answers: a host in a
// network namespace built for the test ignores echo requests, so its ping
// runs out its five seconds and the second address decides.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tarnwatch::cycle

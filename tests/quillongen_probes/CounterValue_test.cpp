// System-wide counters by object and counter name.
#include <gtest/gtest.h>

#include "quillongen/probes.h"

namespace {

TEST(CounterValue, KnownCountersReadAndNamesIgnoreCase) {
    const int64_t available = GetCounterValue("Memory", "Available Bytes");
    EXPECT_GT(available, 0);
    EXPECT_LE(GetCounterValue("Memory", "Available MBytes"), available / (1024 * 1024) + 64);
    EXPECT_GT(GetCounterValue("memory", "AVAILABLE BYTES"), 0);
    EXPECT_GT(GetCounterValue("Memory", "Available KBytes"), 0);
    EXPECT_GT(GetCounterValue("Memory", "Committed Bytes"), 0);
    EXPECT_GT(GetCounterValue("Memory", "Commit Limit"), 0);
    EXPECT_GT(GetCounterValue("Memory", "Cache Bytes"), 0);
    EXPECT_GT(GetCounterValue("System", "System Up Time"), 0);
    EXPECT_GT(GetCounterValue("System", "Context Switches/sec"), 0);

    EXPECT_GE(GetCounterValue("System", "Processes"), 1);
    EXPECT_GE(GetCounterValue("System", "Threads"), 1);
}

TEST(CounterValue, UnknownPairsAndNullGiveZero) {
    EXPECT_EQ(0, GetCounterValue("Memory", "Processes"));
    EXPECT_EQ(0, GetCounterValue("System", "Available Bytes"));
    EXPECT_EQ(0, GetCounterValue("Memory ", "Available Bytes"));
    EXPECT_EQ(0, GetCounterValue("Memory", "Available Bytes "));
    EXPECT_EQ(0, GetCounterValue("", ""));
    EXPECT_EQ(0, GetCounterValue(nullptr, "Available Bytes"));
    EXPECT_EQ(0, GetCounterValue("Memory", nullptr));
}

}  // namespace

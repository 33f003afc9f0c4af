// The record's text fields never overflow and the tables answer out-of-range
// indexes safely.
#include "engine/ServiceItem.h"

#include <gtest/gtest.h>

#include <string>

#include "res/StringTable.h"

namespace tarnwatch {
namespace {

TEST(ServiceItem, CopyTextCutsToTheField) {
    char small[5];
    CopyText(small, "abcdefgh");
    EXPECT_STREQ(small, "abcd");
    CopyText(small, nullptr);
    EXPECT_STREQ(small, "");
    std::string longText(1000, 'x');
    ServiceItem e = NewEntryTemplate();
    CopyText(e.timeoutText, longText.c_str());
    EXPECT_EQ(std::string(e.timeoutText).size(), kTimeoutTextSize - 1);
    EXPECT_STREQ(e.address, "");  // the next field is untouched
}

TEST(ServiceItem, ServiceTestNamesAndOutOfRange) {
    EXPECT_STREQ(ServiceTestName(0), "Conference");
    EXPECT_STREQ(ServiceTestName(14), "Is_running");
    EXPECT_STREQ(ServiceTestName(29), "Vorlan");
    EXPECT_STREQ(ServiceTestName(30), "");
    EXPECT_STREQ(ServiceTestName(-1), "");
    EXPECT_EQ(kServiceTests[17].port, kPortNoSource);
    EXPECT_EQ(kServiceTests[21].port, kPortProgram);
}

TEST(StringTable, LoadsByIdAndUnknownIsEmpty) {
    EXPECT_STREQ(LoadString(IDS_TIMEDOUT), "timed out");
    EXPECT_STREQ(LoadString(IDS_IP_LIST0 + 9), "IP_List9");
    EXPECT_STREQ(LoadString(12345), "");
}

}  // namespace
}  // namespace tarnwatch

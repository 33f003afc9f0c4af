// Texts made safe for a terminal, in an 8-bit character set and in UTF-8.
#include "engine/MessageText.h"

#include <gtest/gtest.h>

namespace tarnwatch {
namespace {

TEST(PrintableText, ControlCharactersBecomeOnePlaceholderEach) {
    const std::string hostile = "a\x1b[2Jb\x07\tc\r\n\x7f\x9b\xc2\x9b\xc3\xa9";
    // 8-bit: every byte is a character, 0x80-0x9F are the C1 controls. Tab
    // stays, and bytes above 0x9F are letters of the set.
    EXPECT_EQ(PrintableText(hostile, false), "a?[2Jb?\tc????\xc2?\xc3\xa9");
    // UTF-8: a C1 control is two bytes (one placeholder), a stray byte of a
    // malformed sequence is one; well-formed characters stay.
    EXPECT_EQ(PrintableText(hostile, true), "a?[2Jb?\tc?????\xc3\xa9");
    EXPECT_EQ(PrintableText("\xe2\x82\xac \xf0\x9f\x98\x80", true),
              "\xe2\x82\xac \xf0\x9f\x98\x80");
    // Cut, overlong and surrogate forms are malformed.
    EXPECT_EQ(PrintableText("\xe2\x82", true), "??");
    EXPECT_EQ(PrintableText("\xc0\x9b", true), "??");
    EXPECT_EQ(PrintableText("\xed\xa0\x80", true), "???");
    EXPECT_EQ(PrintableText(std::string("x\0y", 3), true), "x?y");
}

}  // namespace
}  // namespace tarnwatch

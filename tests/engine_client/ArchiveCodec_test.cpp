// The message bytes: length and count prefixes at their boundaries, partial
// input, the Unicode marker and the size bound.
#include "engine/ArchiveCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwatch {
namespace {

const std::uint8_t* Data(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

TEST(ArchiveCodec, StringPrefixesSwitchAtTheirBoundaries) {
    struct Case {
        std::size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string("\x00", 1)},
        {254, "\xfe"},
        {255, std::string("\xff\xff\x00", 3)},
        {0xFFFD, "\xff\xfd\xff"},
        {0xFFFE, std::string("\xff\xff\xff\xfe\xff\x00\x00", 7)},
        {70000, std::string("\xff\xff\xff\x70\x11\x01\x00", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        ArchiveWriter w;
        const std::string text(c.length, 'x');
        w.WriteString(text);
        ASSERT_EQ(w.Bytes().size(), c.prefix.size() + c.length);
        EXPECT_EQ(w.Bytes().substr(0, c.prefix.size()), c.prefix);

        ArchiveReader r(Data(w.Bytes()), w.Bytes().size(), 1 << 20);
        std::string back;
        ASSERT_EQ(r.ReadString(back), ArchiveStatus::kOk);
        EXPECT_EQ(back, text);
        EXPECT_EQ(r.Position(), w.Bytes().size());
    }
}

TEST(ArchiveCodec, ListCountsUseAWordOrTheEscapedDword) {
    ArchiveWriter small;
    small.WriteStringList({"a", "bc"});
    EXPECT_EQ(small.Bytes(), std::string("\x02\x00\x01"
                                         "a\x02"
                                         "bc",
                                         7));

    ArchiveWriter big;
    big.WriteStringList(std::vector<std::string>(0xFFFF));
    EXPECT_EQ(big.Bytes().substr(0, 6), std::string("\xff\xff\xff\xff\x00\x00", 6));
    ArchiveReader r(Data(big.Bytes()), big.Bytes().size(), 1 << 20);
    std::vector<std::string> lines;
    ASSERT_EQ(r.ReadStringList(lines), ArchiveStatus::kOk);
    EXPECT_EQ(lines.size(), 0xFFFFu);
}

TEST(ArchiveCodec, PartialMessagesWaitAndWholeOnesAreTaken) {
    CMsgClient out;
    out.closeFlag = 1;
    out.text = "VORLAN";
    out.lines = {"12:34", std::string(300, 'z')};
    ArchiveWriter w;
    out.Serialize(w);
    const std::string bytes = w.Bytes() + "next";
    for (std::size_t cut = 0; cut < w.Bytes().size(); ++cut) {
        CMsgClient in;
        std::size_t used = 99;
        ASSERT_EQ(in.Serialize(Data(bytes), cut, used), ArchiveStatus::kIncomplete) << cut;
        EXPECT_EQ(used, 99u);
    }
    CMsgClient in;
    std::size_t used = 0;
    ASSERT_EQ(in.Serialize(Data(bytes), bytes.size(), used), ArchiveStatus::kOk);
    EXPECT_EQ(used, w.Bytes().size());
    EXPECT_EQ(in.closeFlag, 1);
    EXPECT_EQ(in.text, "VORLAN");
    EXPECT_EQ(in.lines, out.lines);
}

TEST(ArchiveCodec, UnicodeStringsBecomeEightBit) {
    // Marker, then a length of 3 wide characters: 'O', 'K', U+263A.
    const std::string bytes("\xff\xfe\xff\x03O\x00K\x00\x3a\x26", 10);
    ArchiveReader r(Data(bytes), bytes.size());
    std::string text;
    ASSERT_EQ(r.ReadString(text), ArchiveStatus::kOk);
    EXPECT_EQ(text, "OK?");

    // Two markers in a row are not a length.
    const std::string twice("\xff\xfe\xff\xff\xfe\xff\x01", 7);
    ArchiveReader r2(Data(twice), twice.size());
    EXPECT_EQ(r2.ReadString(text), ArchiveStatus::kMalformed);
}

TEST(ArchiveCodec, AnnouncedSizesBeyondTheBoundAreRefusedAtOnce) {
    // Only the prefix has arrived, but no amount of further input could make
    // these acceptable.
    const std::string hugeText("\xff\xff\xff\x00\x00\x01\x00", 7);  // 64 KiB
    ArchiveReader r(Data(hugeText), hugeText.size());
    std::string text;
    EXPECT_EQ(r.ReadString(text), ArchiveStatus::kMalformed);
    EXPECT_EQ(r.Position(), 0u);

    const std::string hugeList("\xff\xff\x00\x00\x01\x00", 6);
    ArchiveReader r2(Data(hugeList), hugeList.size());
    std::vector<std::string> lines;
    EXPECT_EQ(r2.ReadStringList(lines), ArchiveStatus::kMalformed);
    EXPECT_TRUE(lines.empty());

    // A message of exactly the bound is still read.
    CMsgClient m;
    m.text = std::string(kMaxMessageBytes - 2 - 3 - 2, 'x');
    ArchiveWriter w;
    m.Serialize(w);
    ASSERT_EQ(w.Bytes().size(), kMaxMessageBytes);
    CMsgClient back;
    std::size_t used = 0;
    EXPECT_EQ(back.Serialize(Data(w.Bytes()), w.Bytes().size(), used), ArchiveStatus::kOk);
}

}  // namespace
}  // namespace tarnwatch

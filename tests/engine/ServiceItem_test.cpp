// The record's text fields never overflow and the tables answer out-of-range
// indexes safely.
#include "engine/ServiceItem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "res/StringTable.h"

namespace tarnwatch {
namespace {

// A field of six bytes holds five bytes of text: each multi-byte character
// that ends exactly at the fifth byte stays, one that would need the sixth
// goes whole. The rest of the field is zeroed, whatever it held.
TEST(ServiceItem, CopyTextCutsBetweenCharactersAndPads) {
    const auto copied = [](const char* src) {
        char field[6];
        std::memset(field, 'z', sizeof field);
        CopyText(field, src);
        const std::string text(field);
        for (std::size_t i = text.size(); i < sizeof field; ++i) {
            EXPECT_EQ(field[i], '\0') << "byte " << i << " after " << text;
        }
        return text;
    };
    EXPECT_EQ(copied("abcde"), "abcde");
    EXPECT_EQ(copied("abcdef"), "abcde");
    EXPECT_EQ(copied("abc\xC3\xA9"), "abc\xC3\xA9");              // 2 bytes, at the limit
    EXPECT_EQ(copied("abcd\xC3\xA9"), "abcd");                    // one past
    EXPECT_EQ(copied("ab\xE2\x82\xAC"), "ab\xE2\x82\xAC");        // 3 bytes, at the limit
    EXPECT_EQ(copied("abc\xE2\x82\xAC"), "abc");                  // one past
    EXPECT_EQ(copied("abcd\xE2\x82\xAC"), "abcd");                // two past
    EXPECT_EQ(copied("a\xF0\x9F\x98\x80"), "a\xF0\x9F\x98\x80");  // 4 bytes, at the limit
    EXPECT_EQ(copied("ab\xF0\x9F\x98\x80"), "ab");                // one past
    EXPECT_EQ(copied("abcd\xF0\x9F\x98\x80"), "abcd");            // three past
    EXPECT_EQ(copied("ab\xE2\x82\xAC"
                     "f"),
              "ab\xE2\x82\xAC");  // cut after a whole one
    // Stray continuation bytes are no character to keep whole.
    EXPECT_EQ(copied("\x80\x80\x80\x80\x80\x80"), "\x80\x80\x80\x80\x80");
    EXPECT_EQ(copied(nullptr), "");

    std::string longText(1000, 'x');
    ServiceItem e = NewEntryTemplate();
    CopyText(e.timeoutText, longText.c_str());
    EXPECT_EQ(std::string(e.timeoutText).size(), kTimeoutTextSize - 1);
    EXPECT_STREQ(e.address, "");             // the next field is untouched
    CopyText(e.timeoutText, e.timeoutText);  // onto itself
    EXPECT_EQ(std::string(e.timeoutText), longText.substr(0, kTimeoutTextSize - 1));
}

// A list file may hold any value where an index belongs: the first and the
// last service test have their names, one past either end has none, and so
// has an unknown string id.
TEST(ServiceItem, LookupsOfAnyStoredIndex) {
    EXPECT_STREQ(ServiceTestName(0), "Conference");
    EXPECT_STREQ(ServiceTestName(-1), "");
    EXPECT_STREQ(ServiceTestName(29), "Vorlan");
    EXPECT_STREQ(ServiceTestName(30), "");
    EXPECT_STREQ(LoadString(12345), "");
}

}  // namespace
}  // namespace tarnwatch

namespace tarnwatch {
namespace {

// Every stored mode value, in range or not, against the first and a repeated
// failure: the entries' sounds and commands and the Internet gate's message
// box all decide through this one rule.
TEST(AlertModes, FireOnFirstOrEveryFailureByMode) {
    const auto check = [](AlertRepeat r, bool first, bool again, const char* what) {
        EXPECT_EQ(FailureAlertFires(r, false), first) << what;
        EXPECT_EQ(FailureAlertFires(r, true), again) << what;
    };
    check(RepeatOf(kSoundNone), false, false, "no sound");
    check(RepeatOf(kSoundOnce), true, false, "sound once");
    check(RepeatOf(kSoundEveryFailure), true, true, "sound every failure");
    check(RepeatOf(kSoundContinuous), true, false, "continuous sound starts once");
    check(RepeatOf(static_cast<SoundMode>(4)), false, false, "sound mode from a damaged file");
    check(RepeatOf(kBatchNone), false, false, "no command");
    check(RepeatOf(kBatchOnce), true, false, "command once");
    check(RepeatOf(kBatchEveryFailure), true, true, "command every failure");
    check(RepeatOf(static_cast<BatchMode>(3)), false, false, "batch has no continuous mode");
    check(RepeatOf(kMessageBoxNone), false, false, "no message box");
    check(RepeatOf(kMessageBoxOnce), true, false, "message box once");
    check(RepeatOf(kMessageBoxEveryFailure), true, true, "message box every failure");
    check(RepeatOf(static_cast<MessageBoxMode>(-1)), false, false, "negative mode");
}

}  // namespace
}  // namespace tarnwatch

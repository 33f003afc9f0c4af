// String utilities: field, item and keyword rules, number classes, formats,
// delimiter splitting, argument vectors and file-name helpers.
#include "quillongen/str.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string nth(const char* text, short n) {
    char dest[512] = "?";
    if (str_getNth(dest, text, n) < 0) return "<none>";
    EXPECT_EQ(str_getNthLength(text, n), static_cast<short>(std::strlen(dest)));
    return dest;
}

std::vector<std::string> walkAll(const char* text) {
    std::vector<std::string> out;
    char dest[512];
    for (int guard = 0; guard < 400; ++guard) {
        if (str_getNext(dest, text) < 0) return out;
        out.emplace_back(dest);
    }
    ADD_FAILURE() << "walk did not end";
    return out;
}

TEST(StrFields, CountFollowsTheCommaAndBlankRules) {
    EXPECT_EQ(str_getNTokens("a, b"), 2);
    EXPECT_EQ(str_getNTokens("a , b"), 2);
    EXPECT_EQ(str_getNTokens("a,b"), 2);
    EXPECT_EQ(str_getNTokens("a,,b"), 2);
    EXPECT_EQ(str_getNTokens("a,,,b"), 3);
    EXPECT_EQ(str_getNTokens("a,,,,,b"), 4);
    EXPECT_EQ(str_getNTokens("a,b,"), 2);
    EXPECT_EQ(str_getNTokens(",a"), 2);
    EXPECT_EQ(str_getNTokens("  \t a \t b  "), 2);
    EXPECT_EQ(str_getNTokens(""), 0);
    EXPECT_EQ(str_getNTokens(" \t "), 0);
    EXPECT_EQ(str_getNTokens("\"x, y\",z"), 2);
    EXPECT_EQ(str_getNTokens("a\"b c\"d e"), 2);  // a quoted part mid-field holds the blank
    EXPECT_EQ(str_getNTokens("\"unclosed, quote"), 1);
}

TEST(StrFields, NthCopiesQuotedAndPlainFields) {
    EXPECT_EQ(nth("\"x, y\",z", 0), "x, y");
    EXPECT_EQ(nth("\"x, y\",z", 1), "z");
    EXPECT_EQ(nth("\"x, y\",z", 2), "<none>");
    EXPECT_EQ(nth(",a", 0), "");
    EXPECT_EQ(nth(",a", 1), "a");
    EXPECT_EQ(nth("a,,,b", 1), "");
    EXPECT_EQ(nth("a,,,b", 2), "b");
    EXPECT_EQ(nth("a,b,", 2), "<none>");
    EXPECT_EQ(nth("a\"b c\"d e", 0), "a\"b");  // the copy ignores a mid-field quote
    EXPECT_EQ(nth("a\"b c\"d e", 1), "e");
    EXPECT_EQ(nth("x \"open to the end", 1), "open to the end");
    EXPECT_EQ(nth("a", -1), "<none>");
    EXPECT_EQ(nth("", 0), "<none>");
    EXPECT_EQ(str_getNthLength("one two", 5), -1);
}

TEST(StrFields, NextWalksFieldsThenRestarts) {
    EXPECT_EQ(walkAll("a, b,c"), (std::vector<std::string>{"a", "b", "c"}));
    // The walk passes one comma more than the count does.
    EXPECT_EQ(walkAll("a,,,b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(walkAll("\"p q\" r"), (std::vector<std::string>{"p q", "r"}));
    EXPECT_EQ(walkAll("   "), std::vector<std::string>{});
    EXPECT_EQ(walkAll("solo,  "), std::vector<std::string>{"solo"});

    char dest[64];
    EXPECT_GT(str_getNext(dest, "a b c"), 0);
    EXPECT_STREQ(dest, "a");
    EXPECT_GT(str_getNext(dest, "x y"), 0);  // another text restarts the walk
    EXPECT_STREQ(dest, "x");
    EXPECT_GE(str_getNext(dest, "x y"), 0);
    EXPECT_STREQ(dest, "y");
    EXPECT_EQ(str_getNext(dest, "x y"), -1);
    EXPECT_GE(str_getNext(dest, "x y"), 0);  // after -1 it starts again
    EXPECT_STREQ(dest, "x");

    // A long text: only its first 255 characters are walked, and the walk ends.
    std::string longText;
    for (int i = 0; i < 100; ++i) longText += "ab ";
    const auto fields = walkAll(longText.c_str());
    EXPECT_EQ(fields.size(), 85u);
    EXPECT_EQ(fields.back(), "ab");
}

TEST(StrItems, ChosenSeparatorRules) {
    char dest[128];
    EXPECT_EQ(str_getNthItem(dest, "name = John Smith ;x", 0, ';'), 0);
    EXPECT_STREQ(dest, "name = John Smith");
    EXPECT_EQ(str_getNthItem(dest, "name = John Smith ;x", 1, ';'), 1);
    EXPECT_STREQ(dest, "x");
    EXPECT_EQ(str_getNthItem(dest, "a;b", 2, ';'), -1);
    EXPECT_EQ(str_getNItems("a b;c d", ';'), 2);
    EXPECT_EQ(str_getNItems("a;;b", ';'), 2);
    EXPECT_EQ(str_getNItems("a;;;b", ';'), 3);
    EXPECT_EQ(str_getNItems("a; ", ';'), 1);
    EXPECT_EQ(str_getNthItem(dest, "k;\"v;w\" tail;z", 1, ';'), 1);
    EXPECT_STREQ(dest, "v;w");  // leading quote: only the quoted part
    EXPECT_EQ(str_getNItems("k;x\"v;w\";z", ';'), 3);
    EXPECT_EQ(str_getNthItem(dest, "k;x\"v;w\";z", 1, ';'), 1);
    EXPECT_STREQ(dest, "x\"v;w\"");  // mid-item quote kept with the separator inside
    EXPECT_EQ(str_getNthItem(dest, "\t  \t;y", 0, ';'), 0);
    EXPECT_STREQ(dest, "");
}

TEST(StrItems, ValuesReportWhichSeparatorEndedThem) {
    char dest[64];
    int sep = -7;
    EXPECT_EQ(str_getNValues("1+2*3", "+-*"), 3);
    EXPECT_EQ(str_getNthValue(dest, "1+2*3", 0, "+-*", &sep), 0);
    EXPECT_STREQ(dest, "1");
    EXPECT_EQ(sep, 1);
    EXPECT_EQ(str_getNthValue(dest, "1+2*3", 1, "+-*", &sep), 1);
    EXPECT_STREQ(dest, "2");
    EXPECT_EQ(sep, 3);
    EXPECT_EQ(str_getNthValue(dest, "1+2*3", 2, "+-*", &sep), 2);
    EXPECT_EQ(sep, 0);
    EXPECT_EQ(str_getNthValue(dest, "a\t +b", 0, "+", &sep), 0);
    EXPECT_STREQ(dest, "a\t");  // values lose trailing blanks only
    EXPECT_EQ(str_getNthValue(dest, "\"q+r\" -s", 0, "+-", &sep), 0);
    EXPECT_STREQ(dest, "q+r");
    EXPECT_EQ(sep, 2);
}

TEST(StrKeywords, AbbreviationAmbiguityAndValues) {
    char value[64] = "untouched";
    EXPECT_EQ(str_parseKeyword("ver=2", value, "VERBOSE,VERSION", 2), -2);
    EXPECT_STREQ(value, "2");
    EXPECT_EQ(str_parseKeyword("vers", value, "VERBOSE,VERSION", 2), 2);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(str_parseKeyword("VerB = loud ", value, "VERBOSE, VERSION", 2), 1);
    EXPECT_STREQ(value, "loud");
    EXPECT_EQ(str_parseKeyword("xyz=1", value, "VERBOSE,VERSION", 2), 0);
    EXPECT_EQ(str_parseKeyword("version2", value, "VERBOSE,VERSION", 2), 0);
    EXPECT_EQ(str_parseKeyword("a=b=c", value, "A", 1), 0);
    EXPECT_EQ(str_parseKeyword("", value, "A", 1), 0);
    EXPECT_EQ(str_parseKeyword("=5", value, "ONE,TWO,THREE", 3), -3);    // empty key
    EXPECT_EQ(str_parseKeyword("ver", value, "VERBOSE,VERSION", 1), 1);  // only the first counts
    EXPECT_EQ(str_parseKeyword("two", value, "ONE,TWO", 50), 2);         // count past the list
}

TEST(StrNumbers, Classes) {
    struct Case {
        const char* text;
        short type;
    } cases[] = {{"+42", 1},     {"3.14", 2},    {"3.141592653", 3},    {"1.5e10", 2},
                 {"1d5", 3},     {"12a", 0},     {"\"12\"", 0},         {"", 1},
                 {"-", 1},       {"1.5E+10", 2}, {"12345678.9", 3},     {"1.5e1000", 0},
                 {"1.2.3e5", 0}, {"1e2d3", 0},   {"1234567890123e1", 3}};
    for (const Case& c : cases) {
        char text[64];
        std::strcpy(text, c.text);
        EXPECT_EQ(str_whatIsType(text), c.type) << c.text;
    }
    char spaced[] = " 1 2\t3 ";
    EXPECT_EQ(str_whatIsType(spaced), 1);
    EXPECT_STREQ(spaced, "123");
    char upper[] = "1.5E3";
    str_whatIsType(upper);
    EXPECT_STREQ(upper, "1.5e3");
}

TEST(StrNumbers, WidthDecimalsCodes) {
    EXPECT_EQ(str_getFormat("10.2"), 1002);
    EXPECT_EQ(str_getFormat("2.5"), 0);
    EXPECT_EQ(str_getFormat(".3"), 3);
    EXPECT_EQ(str_getFormat("8"), 800);
    EXPECT_EQ(str_getFormat("1.5"), 0);
    EXPECT_EQ(str_getFormat("5.4"), 504);  // the most decimals a width holds
    EXPECT_EQ(str_getFormat("5.5"), 0);    // decimals equal to the width: one past
    EXPECT_EQ(str_getFormat("12.11"), 1211);
    EXPECT_EQ(str_getFormat("99999"), 32767);  // 999 * 100 does not fit: held at the top
    EXPECT_EQ(str_getFormat("nan"), 0);
    EXPECT_EQ(str_getFormat(""), 0);
}

TEST(StrSubString, NormalisesThenSplitsAtDelimiters) {
    char text[] = "\t a  ,  b < c:d ~ e  ";
    char delimiters[] = " ,<";
    char dest[64];
    char delimiter = 'i';
    str_getSubString(dest, &delimiter, text, delimiters);
    EXPECT_STREQ(dest, "a,b <c:d~e");
    EXPECT_STREQ(delimiters, ",< ");

    struct Piece {
        const char* text;
        char delimiter;
    } expected[] = {{"a", ','}, {"b", ' '}, {"", '<'}, {"c:d~e", '\0'}};
    for (const Piece& piece : expected) {
        delimiter = 'x';
        str_getSubString(dest, &delimiter, text, delimiters);
        EXPECT_STREQ(dest, piece.text);
        EXPECT_EQ(delimiter, piece.delimiter);
    }
    EXPECT_STREQ(text, "");

    char angled[] = "x ,  < y ~ > z";
    char angleSet[] = "<>";
    delimiter = 'i';
    str_getSubString(dest, &delimiter, angled, angleSet);
    EXPECT_STREQ(dest, "x,<y~>z");
}

TEST(StrArgs, CommandLineBecomesANullEndedVector) {
    char** argv = str_cclParse("prog \"two words\" ,last");
    ASSERT_NE(argv, nullptr);
    EXPECT_STREQ(argv[0], "prog");
    EXPECT_STREQ(argv[1], "two words");
    EXPECT_STREQ(argv[2], "last");
    EXPECT_EQ(argv[3], nullptr);

    argv = str_cclParse("   ");
    ASSERT_NE(argv, nullptr);
    EXPECT_EQ(argv[0], nullptr);

    const std::string longField(400, 'z');
    argv = str_cclParse(("a " + longField + " b").c_str());
    EXPECT_STREQ(argv[0], "a");
    EXPECT_EQ(std::string(argv[1]), std::string(255, 'z'));
    EXPECT_STREQ(argv[2], "b");
    EXPECT_EQ(argv[3], nullptr);
}

TEST(StrNames, PathAndSuffixHelpers) {
    char dest[128];
    str_getPrefix(dest, "C:\\dir\\file.exe");
    EXPECT_STREQ(dest, "C:\\dir\\");
    str_getPrefix(dest, "/home/u/a.b/file");
    EXPECT_STREQ(dest, "/home/u/a.b/");
    str_getPrefix(dest, "file.exe");
    EXPECT_STREQ(dest, "");
    str_rmPrefix(dest, "dir\\sub/file.exe");
    EXPECT_STREQ(dest, "file.exe");
    str_rmPrefix(dest, "file.exe");
    EXPECT_STREQ(dest, "file.exe");

    str_getSuffix(dest, "archive.tar.gz");
    EXPECT_STREQ(dest, "gz");
    str_rmSuffix(dest, "archive.tar.gz");
    EXPECT_STREQ(dest, "archive");
    str_getSuffix(dest, "plain");
    EXPECT_STREQ(dest, "");

    str_splitFilename(dest, "data.txt", 3, 0);
    EXPECT_STREQ(dest, "data03.txt");
    str_splitFilename(dest, "data", 3, 0);
    EXPECT_STREQ(dest, "data03.");
    str_splitFilename(dest, "a.b.html", 42, 0);
    EXPECT_STREQ(dest, "a42.htm");
    str_splitFilename(dest, "data.txt", 3, 1);
    EXPECT_STREQ(dest, "data.txt");
    char same[32] = "log.txt";
    str_splitFilename(same, same, 7, 0);
    EXPECT_STREQ(same, "log07.txt");

    char name[32] = "a.b";
    str_appendExt(name, "txt");
    EXPECT_STREQ(name, "a.b");
    std::strcpy(name, "a");
    str_appendExt(name, "txt");
    EXPECT_STREQ(name, "a.txt");
    str_catChar(name, '!');
    EXPECT_STREQ(name, "a.txt!");
}

TEST(StrText, SmallHelpers) {
    char dest[64];
    char quoted[] = "say \"hi \"there\" end";
    str_getString(dest, quoted);
    EXPECT_STREQ(dest, "hi \"there");
    char plain[] = "no quotes";
    str_getString(dest, plain);
    EXPECT_STREQ(dest, "no quotes");

    char text[] = "a-b-c";
    str_rmChar(text, text, '-');
    EXPECT_STREQ(text, "abc");

    EXPECT_EQ(str_getNumberStrings("a,b,c", ','), 3);
    EXPECT_EQ(str_getNumberStrings("a,b;  ", ','), 1);
    EXPECT_EQ(str_getNumberStrings("", ','), 0);
    EXPECT_EQ(str_getSigLen("abc \t "), 3);
    EXPECT_EQ(str_getSigLen(" \t"), 0);

    char mixed[] = "MiXeD 1";
    EXPECT_EQ(str_toLower(mixed), mixed);
    EXPECT_STREQ(mixed, "mixed 1");
    EXPECT_STREQ(str_toUpper(mixed), "MIXED 1");
    EXPECT_FLOAT_EQ(str_versionNumber(), 1.33f);
}

}  // namespace

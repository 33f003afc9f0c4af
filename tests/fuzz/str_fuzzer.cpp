// Fuzzes the string functions that take text. The input is split at its first
// newline into a text and a second text (separators, keywords, delimiters); its
// first byte also picks field numbers and separator characters. Destination
// buffers are exactly as large as each function's result can be, so any write
// past a result shows up, and the field functions are checked against each
// other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quillongen/str.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// A heap copy of s with its NUL and `extra` spare bytes.
std::vector<char> text(const std::string& s, size_t extra = 0) {
    std::vector<char> v(s.size() + 1 + extra, '\0');
    std::memcpy(v.data(), s.data(), s.size());
    return v;
}

void fields(const std::string& s) {
    auto t = text(s);
    const short count = str_getNTokens(t.data());
    check(count >= 0);
    std::vector<char> dest(s.size() + 1);
    for (short n = 0; n <= count && n < 40; ++n) {
        const short got = str_getNth(dest.data(), t.data(), n);
        const short len = str_getNthLength(t.data(), n);
        check((got == n) == (n < count));
        if (got == n)
            check(len == static_cast<short>(std::strlen(dest.data())));
        else
            check(len == -1);
    }
    std::vector<char> walked(s.size() + 1);
    int calls = 0;
    while (str_getNext(walked.data(), t.data()) >= 0) check(++calls < 300);
    char** argv = str_cclParse(t.data());
    check(argv != nullptr);
    int args = 0;
    while (argv[args] != nullptr) {
        check(std::strlen(argv[args]) <= 255);
        ++args;
    }
    check(args == count);
}

void items(const std::string& s, const std::string& other, unsigned char pick) {
    auto t = text(s);
    const char sep = other.empty() ? static_cast<char>(pick) : other[0];
    std::vector<char> dest(s.size() + 1);
    const short count = str_getNItems(t.data(), sep);
    for (short n = 0; n <= count && n < 40; ++n)
        check((str_getNthItem(dest.data(), t.data(), n, sep) == n) == (n < count));
    auto seps = text(other);
    const int values = str_getNValues(t.data(), seps.data());
    for (short n = 0; n <= values && n < 40; ++n) {
        int sepIndex = -1;
        const short got = str_getNthValue(dest.data(), t.data(), n, seps.data(), &sepIndex);
        check((got == n) == (n < values));
        if (got == n) check(sepIndex >= 0 && sepIndex <= static_cast<int>(other.size()));
    }
    std::vector<char> value(s.size() + 1);
    const short match = str_parseKeyword(t.data(), value.data(), seps.data(), pick % 8);
    check(match >= -8 && match <= 8);
}

void shapes(const std::string& s, const std::string& other, unsigned char pick) {
    auto t = text(s);
    const short type = str_whatIsType(t.data());
    check(type >= 0 && type <= 3);
    t = text(s);
    str_getFormat(t.data());
    str_getNumberStrings(t.data(), static_cast<char>(pick));
    check(str_getSigLen(t.data()) <= static_cast<long>(s.size()));

    std::vector<char> dest(s.size() + 1);
    auto delimiters = text(other);
    char delimiter = (pick & 1) ? 'i' : 'x';
    for (int i = 0; i < 4; ++i) {
        str_getSubString(dest.data(), &delimiter, t.data(), delimiters.data());
        delimiter = 'x';
    }
    t = text(s);
    str_getString(dest.data(), t.data());
    str_rmChar(dest.data(), t.data(), static_cast<char>(pick));
    str_getPrefix(dest.data(), t.data());
    str_rmPrefix(dest.data(), t.data());
    str_getSuffix(dest.data(), t.data());
    str_rmSuffix(dest.data(), t.data());
    std::vector<char> numbered(s.size() + 1 + 24);
    str_splitFilename(numbered.data(), t.data(), static_cast<long>(pick) - 20, pick & 2);
    auto name = text(s, other.size() + 1);
    str_appendExt(name.data(), delimiters.data());
    auto grown = text(s, 1);
    str_catChar(grown.data(), static_cast<char>(pick));
    str_toUpper(str_toLower(t.data()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input = input.substr(0, std::strlen(input.c_str()));  // texts end at the first NUL
    const unsigned char pick = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    const size_t newline = input.find('\n');
    const std::string first = input.substr(0, newline);
    const std::string second = newline == std::string::npos ? "" : input.substr(newline + 1);
    fields(first);
    items(first, second, pick);
    shapes(first, second, pick);
    return 0;
}

// QuillonGen string utilities: the exported str_ functions. Field rules live in
// str_fields.h; the three walkers that keep state between calls keep it here.
#include "quillongen/str.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quillongen/mem.h"
#include "str_fields.h"

using quillongen::fields::copyField;
using quillongen::fields::copyItem;
using quillongen::fields::fieldStart;
using quillongen::fields::isBlank;
using quillongen::fields::Out;
using quillongen::fields::Rules;
using quillongen::fields::toShort;

namespace {

constexpr size_t kWalkLimit = 255;    // characters of a text str_getNext walks
constexpr size_t kArgLimit = 255;     // characters kept of one command-line field
constexpr size_t kKeywordLimit = 15;  // characters of a key or keyword
constexpr size_t kFormatPart = 3;     // characters of each part of a width.decimals code
constexpr size_t kSuffixLimit = 3;    // characters of a numbered file name's suffix

struct WalkState {
    char saved[kWalkLimit + 1] = "";
    short counter = 0;
    short position = 0;
    bool started = false;
};
WalkState walk;

void* argPool = nullptr;    // the fields of the last command line, back to back
void* argVector = nullptr;  // pointers into argPool, ended by a null entry
char* emptyVector[1] = {nullptr};

short subStringNormalise = 1;

void copyText(char* dest, const char* from, size_t n) {
    std::memmove(dest, from, n);
    dest[n] = '\0';
}

short nthItem(char* dest, const char* text, short n, const Rules& rules, bool trimTabs,
              int* sepIndex) {
    const char* s = fieldStart(text, rules, n);
    if (s == nullptr) return -1;
    Out out{dest};
    copyItem(s, rules, out, trimTabs, sepIndex);
    return n;
}

bool isKeepDelimiter(char c) {
    return c == '~' || c == ',' || c == ':';
}

// Tabs become blanks, runs of blanks one blank, no blank at either end, none
// after "<" or ">", none around "~", "," and ":".
void normaliseBlanks(char* t) {
    size_t w = 0;
    for (size_t r = 0; t[r] != '\0'; ++r) {
        const char c = t[r] == '\t' ? ' ' : t[r];
        if (c == ' ' && (w == 0 || t[w - 1] == ' ')) continue;
        t[w++] = c;
    }
    if (w > 0 && t[w - 1] == ' ') --w;
    t[w] = '\0';
    w = 0;
    for (size_t r = 0; t[r] != '\0'; ++r) {
        if (t[r] == ' ' && w > 0 && (t[w - 1] == '<' || t[w - 1] == '>')) continue;
        if (t[r] == ' ' && ((w > 0 && isKeepDelimiter(t[w - 1])) || isKeepDelimiter(t[r + 1])))
            continue;
        t[w++] = t[r];
    }
    t[w] = '\0';
}

// Removes the blanks around every occurrence of d; before "<" and ">" one blank
// stays unless a "," or "~" stands before it.
void tightenAround(char* t, char d) {
    size_t w = 0;
    for (size_t r = 0; t[r] != '\0'; ++r) {
        if (t[r] != ' ') {
            t[w++] = t[r];
            continue;
        }
        if (w > 0 && t[w - 1] == d) continue;
        size_t q = r;
        while (t[q] == ' ') ++q;
        if (t[q] == d) {
            const bool keepOne =
                (d == '<' || d == '>') && w > 0 && t[w - 1] != ',' && t[w - 1] != '~';
            if (keepOne) t[w++] = ' ';
            r = q - 1;
            continue;
        }
        t[w++] = t[r];
    }
    t[w] = '\0';
}

void normaliseSubString(char* text, char* delimiters) {
    normaliseBlanks(text);
    for (size_t i = 0; delimiters[i] != '\0' && delimiters[i + 1] != '\0'; ++i) {
        if (delimiters[i] == ' ') {
            delimiters[i] = delimiters[i + 1];
            delimiters[i + 1] = ' ';
        }
    }
    for (size_t i = 0; delimiters[i] != '\0'; ++i)
        if (delimiters[i] != ' ') tightenAround(text, delimiters[i]);
}

// The integer value of at most kFormatPart characters from s.
int formatPart(const char* s, size_t n) {
    char part[kFormatPart + 1];
    const size_t len = n < kFormatPart ? n : kFormatPart;
    copyText(part, s, len);
    return std::atoi(part);
}

short clampShort(double v) {
    if (std::isnan(v)) return 0;
    if (v >= SHRT_MAX) return SHRT_MAX;
    if (v <= SHRT_MIN) return SHRT_MIN;
    return static_cast<short>(v);
}

const char* lastSeparator(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') last = p;
    return last;
}

}  // namespace

float str_versionNumber(void) {
    return 1.33f;
}

short str_getNTokens(const char* text) {
    return toShort(quillongen::fields::count(text, Rules::blanks()));
}

short str_getNth(char* dest, const char* text, short n) {
    const char* s = fieldStart(text, Rules::blanks(), n);
    if (s == nullptr) return -1;
    Out out{dest};
    copyField(s, out);
    return n;
}

short str_getNthLength(const char* text, short n) {
    const char* s = fieldStart(text, Rules::blanks(), n);
    if (s == nullptr) return -1;
    Out out{nullptr};
    copyField(s, out);
    return toShort(static_cast<long>(out.len));
}

short str_getNext(char* dest, const char* text) {
    const size_t len = strnlen(text, kWalkLimit);
    if (len != std::strlen(walk.saved) || std::memcmp(text, walk.saved, len) != 0) {
        copyText(walk.saved, text, len);
        walk.counter = 0;
        walk.position = 0;
        walk.started = false;
    }
    const char* p = walk.saved + walk.position;
    if (!walk.started) {
        while (isBlank(*p)) ++p;
        if (*p == '\0') return -1;
        walk.started = true;
    } else if (*p == '\0') {
        walk.counter = 0;
        walk.position = 0;
        walk.started = false;
        return -1;
    }
    Out out{dest};
    const char* e = copyField(p, out);
    if (*e != '\0') ++e;  // the separator or closing quote that ended the field
    while (isBlank(*e)) ++e;
    if (*e == ',') {
        ++e;
        while (isBlank(*e)) ++e;
    }
    if (*e == ',') ++e;
    walk.position = static_cast<short>(e - walk.saved);
    if (*e == '\0') return walk.counter;  // the last field
    return ++walk.counter;
}

short str_getNItems(const char* text, char sep) {
    return toShort(quillongen::fields::count(text, Rules::one(sep)));
}

short str_getNthItem(char* dest, const char* text, short n, char sep) {
    return nthItem(dest, text, n, Rules::one(sep), true, nullptr);
}

int str_getNValues(const char* text, const char* seps) {
    const long n = quillongen::fields::count(text, Rules::any(seps));
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

short str_getNthValue(char* dest, const char* text, short n, const char* seps, int* sepIndex) {
    return nthItem(dest, text, n, Rules::any(seps), false, sepIndex);
}

short str_parseKeyword(const char* line, char* value, const char* keywords, int nKeywords) {
    const Rules equals = Rules::one('=');
    const long items = quillongen::fields::count(line, equals);
    if (items < 1 || items > 2) return 0;
    char key[kKeywordLimit + 1];
    Out keyOut{key, kKeywordLimit};
    copyItem(fieldStart(line, equals, 0), equals, keyOut, true, nullptr);
    if (items == 2) {
        Out valueOut{value};
        copyItem(fieldStart(line, equals, 1), equals, valueOut, true, nullptr);
    } else {
        value[0] = '\0';
    }
    const size_t keyLength = std::strlen(key);
    const Rules comma = Rules::one(',');
    const long available = quillongen::fields::count(keywords, comma);
    const long considered = nKeywords < available ? nKeywords : available;
    int matches = 0;
    long matched = 0;
    for (long i = 0; i < considered; ++i) {
        char keyword[kKeywordLimit + 1];
        Out kwOut{keyword, kKeywordLimit};
        copyItem(fieldStart(keywords, comma, i), comma, kwOut, true, nullptr);
        if (strncasecmp(keyword, key, keyLength) == 0) {
            ++matches;
            matched = i;
        }
    }
    if (matches == 0) return 0;
    if (matches == 1) return toShort(matched + 1);
    return static_cast<short>(-matches > SHRT_MIN ? -matches : SHRT_MIN);
}

short str_whatIsType(char* text) {
    str_rmChar(text, text, ' ');
    str_rmChar(text, text, '\t');
    str_toLower(text);
    const char* p = text;
    if (*p == '"') return 0;
    if (*p == '+' || *p == '-') ++p;
    long n = 0, digits = 0, dots = 0, es = 0, ds = 0, markAt = 0;
    for (; *p != '\0'; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++dots;
        } else if (c == 'e' || c == 'd') {
            ++(c == 'e' ? es : ds);
            markAt = n;
            if (p[1] == '+' || p[1] == '-') ++p;
        } else {
            return 0;
        }
        ++n;
    }
    if (digits == n) return 1;
    if (digits == n - 1 && dots == 1) return digits <= 8 ? 2 : 3;
    // Exponent forms: one letter, at most one dot, the letter and at most three
    // exponent digits at the end.
    const bool exponentShape = digits + dots + 1 == n && dots <= 1 && n - markAt < 5;
    if (es == 1 && ds == 0 && exponentShape) return digits <= 12 ? 2 : 3;
    if (ds == 1 && es == 0 && exponentShape) return 3;
    return 0;
}

short str_getFormat(const char* text) {
    const char* dot = std::strchr(text, '.');
    if (dot == nullptr) {
        char part[kFormatPart + 1];
        copyText(part, text, strnlen(text, kFormatPart));
        return clampShort(std::trunc(std::atof(part) * 100.0));
    }
    const int w = formatPart(text, static_cast<size_t>(dot - text));
    const int d = formatPart(dot + 1, std::strlen(dot + 1));
    if (w == 0) return static_cast<short>(d);
    if (d < w) return clampShort(w * 100.0 + d);
    return 0;
}

void str_getSubString(char* dest, char* delimiter, char* text, char* delimiters) {
    const bool onlyNormalise = delimiter != nullptr && *delimiter == 'i';
    if (subStringNormalise != 0 || onlyNormalise) {
        subStringNormalise = 0;
        normaliseSubString(text, delimiters);
        if (onlyNormalise) {
            copyText(dest, text, std::strlen(text));
            return;
        }
    }
    const size_t k = std::strcspn(text, delimiters);
    const char found = text[k];
    copyText(dest, text, k);
    if (delimiter != nullptr) *delimiter = found;
    if (found == '\0') {
        text[0] = '\0';
    } else {
        std::memmove(text, text + k + 1, std::strlen(text + k + 1) + 1);
    }
}

char** str_cclParse(const char* commandLine) {
    const Rules rules = Rules::blanks();
    const long count = quillongen::fields::count(commandLine, rules);
    size_t total = 0;
    quillongen::fields::scan(commandLine, rules, [&](long index, const char* s) {
        if (index < count) {
            Out out{nullptr, kArgLimit};
            copyField(s, out);
            total += out.len + 1;
        }
        return true;
    });
    const size_t vectorBytes = (static_cast<size_t>(count) + 1) * sizeof(char*);
    if (total > UINT_MAX || vectorBytes > UINT_MAX) return emptyVector;
    if (total > 0) mem_reallocate(&argPool, static_cast<unsigned int>(total));
    mem_reallocate(&argVector, static_cast<unsigned int>(vectorBytes));
    auto** vector = static_cast<char**>(argVector);
    char* pool = static_cast<char*>(argPool);
    quillongen::fields::scan(commandLine, rules, [&](long index, const char* s) {
        if (index < count) {
            Out out{pool, kArgLimit};
            copyField(s, out);
            vector[index] = pool;
            pool += out.len + 1;
        }
        return true;
    });
    vector[count] = nullptr;
    return vector;
}

long str_getNumberStrings(const char* text, char sep) {
    long count = 0;
    const char* lastNonBlank = nullptr;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == sep) ++count;
        if (*p != ' ') lastNonBlank = p;
    }
    if (lastNonBlank == nullptr || *lastNonBlank == ';') return count;
    return count + 1;
}

long str_getSigLen(const char* text) {
    size_t len = std::strlen(text);
    while (len > 0 && isBlank(text[len - 1])) --len;
    return static_cast<long>(len);
}

void str_getString(char* dest, char* text) {
    char* first = std::strchr(text, '"');
    if (first == nullptr) {
        copyText(dest, text, std::strlen(text));
        return;
    }
    char* last = std::strrchr(text, '"');
    if (last > first) *last = '\0';
    copyText(dest, first + 1, std::strlen(first + 1));
}

void str_rmChar(char* dest, const char* text, char c) {
    size_t w = 0;
    for (size_t r = 0; text[r] != '\0'; ++r)
        if (text[r] != c) dest[w++] = text[r];
    dest[w] = '\0';
}

void str_getPrefix(char* dest, const char* path) {
    const char* last = lastSeparator(path);
    copyText(dest, path, last == nullptr ? 0 : static_cast<size_t>(last - path) + 1);
}

void str_rmPrefix(char* dest, const char* path) {
    const char* last = lastSeparator(path);
    const char* rest = last == nullptr ? path : last + 1;
    copyText(dest, rest, std::strlen(rest));
}

void str_getSuffix(char* dest, const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) {
        dest[0] = '\0';
        return;
    }
    copyText(dest, dot + 1, std::strlen(dot + 1));
}

void str_rmSuffix(char* dest, const char* name) {
    copyText(dest, name, std::strcspn(name, "."));
}

void str_splitFilename(char* dest, const char* name, long number, long keep) {
    if (keep == 1) {
        copyText(dest, name, std::strlen(name));
        return;
    }
    char suffix[kSuffixLimit + 1] = "";
    if (const char* dot = std::strrchr(name, '.'); dot != nullptr)
        copyText(suffix, dot + 1, strnlen(dot + 1, kSuffixLimit));
    char digits[24];
    const int digitsLength = std::snprintf(digits, sizeof digits, "%02ld.", number);
    const size_t base = std::strcspn(name, ".");
    std::memmove(dest, name, base);
    std::memcpy(dest + base, digits, static_cast<size_t>(digitsLength));
    copyText(dest + base + digitsLength, suffix, std::strlen(suffix));
}

void str_appendExt(char* name, const char* ext) {
    if (std::strchr(name, '.') != nullptr) return;
    const size_t len = std::strlen(name);
    name[len] = '.';
    copyText(name + len + 1, ext, std::strlen(ext));
}

void str_catChar(char* text, char c) {
    const size_t len = std::strlen(text);
    text[len] = c;
    if (c != '\0') text[len + 1] = '\0';
}

char* str_toLower(char* text) {
    for (char* p = text; *p != '\0'; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return text;
}

char* str_toUpper(char* text) {
    for (char* p = text; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return text;
}

CQuillonStr::CQuillonStr() = default;
CQuillonStr& CQuillonStr::operator=(const CQuillonStr&) = default;

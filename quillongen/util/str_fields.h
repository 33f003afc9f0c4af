// Field scanning shared by the string family: where the fields of a line
// begin, how many there are, and how one field is copied out. Every scan stops
// at the text's NUL, including inside an unclosed double quote.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillongen::fields {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// What separates fields. Blank mode: comma, blank and tab separate and a second
// comma may join a separator. Character mode: only the chosen characters
// separate (and join), blanks and tabs belong to the item.
struct Rules {
    const char* set = nullptr;  // characters mode: the separator characters
    char single = 0;            // characters mode with one separator (set null)
    bool blankMode = true;

    static Rules blanks() { return Rules{}; }
    static Rules one(char c) { return Rules{nullptr, c, false}; }
    static Rules any(const char* s) { return Rules{s, 0, false}; }

    bool isSep(char c) const {
        if (c == '\0') return false;
        if (blankMode) return c == ',' || isBlank(c);
        if (set != nullptr) return std::strchr(set, c) != nullptr;
        return c == single;
    }
    bool joinsSeparator(char c) const { return blankMode ? c == ',' : isSep(c); }
    // 1-based position of c within the separator set.
    int indexOf(char c) const {
        if (set == nullptr) return 1;
        return static_cast<int>(std::strchr(set, c) - set) + 1;
    }
};

// Skips a field's body from p: runs to a separator or the end; a double quote
// opens a part that runs to the next double quote (or the end).
inline const char* skipBody(const char* p, const Rules& rules, bool* any) {
    while (*p != '\0' && !rules.isSep(*p)) {
        *any = true;
        if (*p == '"') {
            ++p;
            while (*p != '\0' && *p != '"') ++p;
            if (*p != '\0') ++p;
        } else {
            ++p;
        }
    }
    return p;
}

// Walks the separators of text. onField(index, start) is called where each
// field would begin, including the position after a trailing separator, which
// is not a field. Returns the number of fields.
template <typename OnField>
long scan(const char* text, const Rules& rules, OnField onField) {
    const char* p = text;
    while (isBlank(*p)) ++p;
    if (*p == '\0') return 0;
    long separators = 0;
    bool joinedSecond = false;  // the last separator took a second one in, no field since
    for (;;) {
        if (!onField(separators, p)) return -1;
        bool any = false;
        p = skipBody(p, rules, &any);
        if (any) joinedSecond = false;
        if (*p == '\0') return separators + (any ? 1 : 0);
        ++p;
        while (isBlank(*p)) ++p;
        ++separators;
        if (!joinedSecond && rules.joinsSeparator(*p)) {
            ++p;
            while (isBlank(*p)) ++p;
            joinedSecond = true;
        } else {
            joinedSecond = false;
        }
    }
}

inline long count(const char* text, const Rules& rules) {
    return scan(text, rules, [](long, const char*) { return true; });
}

// Start of field n, or null when the text has fewer fields.
inline const char* fieldStart(const char* text, const Rules& rules, long n) {
    if (n < 0) return nullptr;
    const char* start = nullptr;
    const long total = scan(text, rules, [&](long index, const char* p) {
        if (index == n) start = p;
        return index < n;  // nothing after field n matters
    });
    if (total >= 0) return n < total ? start : nullptr;
    // Stopped at field n: it is a field unless it is the end after a separator.
    return *start != '\0' ? start : nullptr;
}

// Bounded output: keeps at most `limit` characters; dest may be null to measure.
struct Out {
    char* dest;
    size_t limit = SIZE_MAX;
    size_t len = 0;
    void put(char c) {
        if (len < limit) {
            if (dest != nullptr) dest[len] = c;
            ++len;
        }
    }
    void trimTrailing(bool tabsToo) {
        if (dest == nullptr) return;
        while (len > 0 && (dest[len - 1] == ' ' || (tabsToo && dest[len - 1] == '\t'))) --len;
    }
    void end() {
        if (dest != nullptr) dest[len] = '\0';
    }
};

// Copies a comma/blank field starting at s: a field that begins with a quote
// gives the quoted part; any other runs to the next comma, blank or tab.
// Returns where the copy stopped (the closing quote, the separator or the end).
inline const char* copyField(const char* s, Out& out) {
    if (*s == '"') {
        ++s;
        while (*s != '\0' && *s != '"') out.put(*s++);
    } else {
        while (*s != '\0' && *s != ',' && !isBlank(*s)) out.put(*s++);
    }
    out.end();
    return s;
}

// Copies an item starting at s under character rules: a leading quote gives
// the quoted part; otherwise quoted parts are copied with their quotes and may
// hold separators. Trailing blanks (and tabs when asked) are trimmed.
// *sepIndex, when given, receives the position in the set of the separator
// that ended the item, or 0 when the item ran to the end of the text.
inline void copyItem(const char* s, const Rules& rules, Out& out, bool trimTabs, int* sepIndex) {
    if (*s == '"') {
        ++s;
        while (*s != '\0' && *s != '"') out.put(*s++);
        bool any = false;
        if (*s != '\0') s = skipBody(s + 1, rules, &any);  // what follows the quote ends the item
    } else {
        while (*s != '\0' && !rules.isSep(*s)) {
            if (*s == '"') {
                out.put(*s++);
                while (*s != '\0' && *s != '"') out.put(*s++);
                if (*s != '\0') out.put(*s++);
            } else {
                out.put(*s++);
            }
        }
    }
    if (sepIndex != nullptr) *sepIndex = *s != '\0' ? rules.indexOf(*s) : 0;
    out.trimTrailing(trimTabs);
    out.end();
}

inline short toShort(long v) {
    return v > SHRT_MAX ? SHRT_MAX : static_cast<short>(v);
}

}  // namespace quillongen::fields

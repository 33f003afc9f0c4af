// Escaping of entry texts for the metrics text, JSON and the plugin line.
#include "engine/TextEscape.h"

#include <cstdint>

namespace tarnwatch {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Calls `ascii(c)` for each byte below 0x80 and `other(sequence, codePoint)`
// for each well-formed longer sequence; a byte that starts none becomes
// U+FFFD, and the next byte is looked at afresh.
template <typename Ascii, typename Other>
void ForEachCharacter(std::string_view text, Ascii ascii, Other other) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ascii(static_cast<char>(c));
            ++i;
            continue;
        }
        const std::size_t n = Utf8SequenceLength(text.substr(i));
        if (n == 0) {
            other(kReplacement, 0xFFFDu);
            ++i;
            continue;
        }
        std::uint32_t cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < n; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        other(text.substr(i, n), cp);
        i += n;
    }
}

void AppendHexEscape(std::string& out, std::uint32_t cp) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(0);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < n || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k) {
        if (!Continuation(at(k))) return 0;
    }
    return n;
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachCharacter(
        text, [&](char c) { out += c; },
        [&](std::string_view sequence, std::uint32_t) { out += sequence; });
    return out;
}

void AppendLabelValue(std::string& out, std::string_view text) {
    // Whole runs of plain characters at a time: the metrics of a long list
    // are mostly these texts, repeated once per family.
    std::size_t run = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 && c != '\\' && c != '"' && c != '\n') {
            ++i;
            continue;
        }
        out.append(text.data() + run, i - run);
        if (c < 0x80) {
            out += '\\';
            out += c == '\n' ? 'n' : static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = Utf8SequenceLength(text.substr(i)); n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.data() + i, n);
            i += n;
        }
        run = i;
    }
    out.append(text.data() + run, i - run);
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    ForEachCharacter(
        text,
        [&](char c) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                AppendHexEscape(out, static_cast<unsigned char>(c));
            } else {
                out += c;
            }
        },
        [&](std::string_view sequence, std::uint32_t cp) {
            if (cp <= 0x9F || cp == 0x2028 || cp == 0x2029) {
                AppendHexEscape(out, cp);
            } else {
                out += sequence;
            }
        });
    out += '"';
}

std::string PluginText(std::string_view text, std::size_t maxBytes) {
    std::string out;
    bool cut = false;
    const auto add = [&](std::string_view piece) {
        if (cut) return;
        if (out.size() + piece.size() > maxBytes) {
            cut = true;
            return;
        }
        out += piece;
    };
    ForEachCharacter(
        text,
        [&](char c) {
            const auto u = static_cast<unsigned char>(c);
            const char shown = u < 0x20 || u == 0x7F ? ' ' : c == '|' ? '/' : c;
            add(std::string_view(&shown, 1));
        },
        [&](std::string_view sequence, std::uint32_t cp) {
            add(cp <= 0x9F || cp == 0x2028 || cp == 0x2029 ? " " : sequence);
        });
    if (cut) {
        // Room for the mark, taken back a whole character at a time.
        while (!out.empty() && out.size() + 3 > maxBytes) {
            std::size_t last = out.size() - 1;
            while (last > 0 && Continuation(static_cast<unsigned char>(out[last]))) --last;
            out.erase(last);
        }
        out += "...";
    }
    return out;
}

}  // namespace tarnwatch

// Filled-in messages and printable texts; see MessageText.h.
#include "engine/MessageText.h"

#include <langinfo.h>
#include <strings.h>

#include <cstdio>

#include "engine/TextEscape.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

bool IsControl(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

}  // namespace

std::string FormatText(const char* format, std::initializer_list<std::string> parts) {
    std::string text = format ? format : "";
    std::size_t from = 0;
    for (const std::string& part : parts) {
        const std::size_t at = text.find("%s", from);
        if (at == std::string::npos) break;
        text.replace(at, 2, part);
        from = at + part.size();
    }
    return text;
}

std::string LoadFormatted(int id, const std::string& first, const std::string& second) {
    return FormatText(LoadString(id), {first, second});
}

std::string PrintableText(std::string_view text, bool utf8) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!utf8 || c < 0x80) {
            out.push_back(IsControl(c) ? kUnprintablePlaceholder : static_cast<char>(c));
            ++i;
            continue;
        }
        const std::size_t len = Utf8SequenceLength(text.substr(i));
        // U+0080..U+009F are C2 80..C2 9F: the C1 controls in UTF-8 form.
        const bool c1 = len == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (len == 0 || c1) {
            out.push_back(kUnprintablePlaceholder);
            i += len == 0 ? 1 : len;
            continue;
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

std::string PrintableText(std::string_view text) {
    const char* codeset = nl_langinfo(CODESET);
    const bool utf8 =
        codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
    return PrintableText(text, utf8);
}

void TellOnStandardError(std::string_view message) {
    std::fprintf(stderr, "%s: %s\n", LoadString(IDS_APP_NAME), PrintableText(message).c_str());
    std::fflush(stderr);
}

}  // namespace tarnwatch

// The fixed fields' text copy; see FixedText.h.
#include "engine/FixedText.h"

#include <cstring>

namespace tarnwatch {
namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// How much of `text` fits in `room` bytes without splitting a character: a
// cut that falls on a continuation byte moves back to the lead byte of its
// character. Bytes that are no valid sequence are cut where they fall.
std::size_t FittingLength(std::string_view text, std::size_t room) {
    if (text.size() <= room) return text.size();
    std::size_t cut = room;
    while (cut > 0 && room - cut < 3 && IsContinuation(text[cut])) --cut;
    const bool leadsACharacter = static_cast<unsigned char>(text[cut]) >= 0xC0;
    return leadsACharacter ? cut : room;
}

}  // namespace

void CopyText(char* dest, std::size_t destSize, std::string_view src) {
    if (destSize == 0) return;
    const std::size_t n = FittingLength(src, destSize - 1);
    if (n) std::memmove(dest, src.data(), n);
    std::memset(dest + n, 0, destSize - n);
}

void CopyText(char* dest, std::size_t destSize, const char* src) {
    CopyText(dest, destSize,
             src ? std::string_view(src, strnlen(src, destSize)) : std::string_view());
}

}  // namespace tarnwatch

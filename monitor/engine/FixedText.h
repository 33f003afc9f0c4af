// Copying text into the record's fixed-size fields: the one place a text is
// cut to fit.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarnwatch {

// Copies `src` into the field `dest` of `destSize` bytes: cut to fit, never
// inside a UTF-8 character, always NUL-terminated, and the rest of the field
// zeroed so no trace of an earlier, longer text stays in the record (and
// from there in the list file). `src` may be `dest` itself.
void CopyText(char* dest, std::size_t destSize, std::string_view src);
// `src` up to its NUL or `destSize` bytes, whichever comes first; a null
// pointer is the empty text.
void CopyText(char* dest, std::size_t destSize, const char* src);

template <std::size_t N>
void CopyText(char (&dest)[N], std::string_view src) {
    CopyText(dest, N, src);
}
template <std::size_t N>
void CopyText(char (&dest)[N], const char* src) {
    CopyText(dest, N, src);
}

}  // namespace tarnwatch

// Texts meant for people: messages filled in from the string table, and
// texts made safe to print on a terminal or into a log.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarnwatch {

// `format` with each "%s" replaced, in order, by the next of `parts`.
std::string FormatText(const char* format, std::initializer_list<std::string> parts);
// The string-table text `id` loaded and formatted as FormatText does.
std::string LoadFormatted(int id, const std::string& first, const std::string& second = "");

// Stands for a character that must not reach a terminal.
inline constexpr char kUnprintablePlaceholder = '?';

// `text` with every control character replaced by the placeholder: the C0
// controls but tab, DEL, and the C1 controls. Texts from the list file and
// from agents may hold escape sequences that would drive the terminal they
// are printed on. With `utf8`, text is read as UTF-8: a well-formed multi-byte
// character stays (but the C1 controls written as U+0080..U+009F), and every
// byte of a malformed sequence is replaced; otherwise every byte is one
// character of an 8-bit set and 0x80..0x9F are C1.
std::string PrintableText(std::string_view text, bool utf8);
// The same for the current locale's character set.
std::string PrintableText(std::string_view text);

// One line "tarnwatch: message" on standard error, made printable, at once.
void TellOnStandardError(std::string_view message);

}  // namespace tarnwatch

// The list in a text form people can read, write, review and keep in version
// control: TOML, one [[entry]] table per entry in row order, every stored
// field by a readable name. The binary list file stays the program's own
// store; this form only travels in and out of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/EntryCollection.h"

namespace tarnwatch {

// The most entries one text may hold. A text that holds more is refused with
// this number in the message rather than parsed for a long time.
inline constexpr int kMaxTextEntries = 20000;

// The rows of `entries` in display order as the text form, headed by a
// comment naming the program version that wrote it. Texts that are UTF-8
// appear as TOML strings; a text holding other bytes (an old 8-bit list)
// appears as an array of its byte values, so every byte comes back.
// Run-time fields (row, state, attempt, last test time) are left out.
std::string ListToText(const EntryCollection& entries);

// Reads the text form into `entries` (emptied first), each entry checked as
// the entry sheet would take it: a known service test, numbers where
// numbers belong and within range, texts within their fields, an address
// for a network entry and a source for a local one. Keys an entry leaves
// out take the new-entry values, except that the kind and the source follow
// the chosen test (its port, "0" for Ping) and a local entry's address is
// "Local Machine". Unknown tables and keys are errors. On the first error
// returns false with `error` as "NAME:LINE: entry N, KEY: what is wrong"
// (`name` naming the text's file) and `entries` empty.
[[nodiscard]] bool ListFromText(std::string_view text, const std::string& name,
                                EntryCollection& entries, std::string& error);

}  // namespace tarnwatch

// What names an entry across restarts without a field of its own in the
// list file: a hash of everything the user sets in it. An edit makes it
// another entry, so whatever was kept under the old key no longer applies.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ServiceItem.h"

namespace tarnwatch {

// Run-time fields (row, state, attempt, last test) and the enable, which
// failures and the row's check box change, do not count.
std::uint64_t EntryKey(const ServiceItem& entry);
// The key as 16 lower-case hex digits, and back; false for any other text.
std::string EntryKeyText(std::uint64_t key);
bool ParseEntryKey(const std::string& text, std::uint64_t& key);
// How the person knows the entry: its description, else its address.
std::string EntryTitle(const ServiceItem& entry);

}  // namespace tarnwatch

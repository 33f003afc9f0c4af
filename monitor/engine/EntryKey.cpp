// Entry keys.
#include "engine/EntryKey.h"

#include <cstring>

namespace tarnwatch {

std::uint64_t EntryKey(const ServiceItem& entry) {
    ServiceItem copy;
    std::memcpy(&copy, &entry, sizeof copy);
    copy.row = 0;
    copy.state = 0;
    copy.attempt = 0;
    copy.lastTestTime = 0;
    copy.enabled = 0;
    // FNV-1a over the record's bytes, which the list file keeps as they are.
    std::uint64_t hash = 1469598103934665603ULL;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&copy);
    for (std::size_t i = 0; i < sizeof copy; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string EntryKeyText(std::uint64_t key) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, key >>= 4) text[static_cast<std::size_t>(i)] = kDigits[key & 15];
    return text;
}

bool ParseEntryKey(const std::string& text, std::uint64_t& key) {
    if (text.size() != 16) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    key = value;
    return true;
}

std::string EntryTitle(const ServiceItem& entry) {
    const char* text = entry.description[0] ? entry.description : entry.address;
    const std::size_t size = entry.description[0] ? sizeof entry.description : sizeof entry.address;
    return std::string(text, strnlen(text, size));
}

}  // namespace tarnwatch

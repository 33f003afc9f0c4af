// Builds list files byte by byte, independently of the program's record
// structure, so the tests check the file format itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tarnwatch::fakes {

class RawRecord {
public:
    explicit RawRecord(std::size_t size) : bytes(size, 0) {}
    RawRecord& Int(std::size_t offset, std::int32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
        return *this;
    }
    RawRecord& Text(std::size_t offset, const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes.at(offset + i) = static_cast<unsigned char>(text[i]);
        return *this;
    }
    std::vector<unsigned char> bytes;
};

inline std::int32_t IntAt(const std::vector<unsigned char>& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(offset + i);
    return static_cast<std::int32_t>(v);
}

inline std::vector<unsigned char> ListFileImage(float header, std::int32_t count,
                                                const std::vector<RawRecord>& records,
                                                bool trailer = true) {
    std::vector<unsigned char> out(8);
    std::memcpy(out.data(), &header, 4);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<unsigned char>(count >> (8 * i));
    for (const auto& r : records) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    if (trailer) out.insert(out.end(), 4, 0);
    return out;
}

// An enabled, high-frequency entry as the program's own tests write them: a
// 3-second time-out, one attempt, global alert settings, service verified.
inline RawRecord TestEntry(std::int32_t kind, const std::string& source, const std::string& address,
                           std::int32_t test, const std::string& description) {
    RawRecord r(1912);
    r.Int(0, kind).Text(4, source).Text(260, "3").Text(280, address).Int(536, 1);
    r.Text(540, description).Int(796, test).Int(1880, 1).Int(1888, 1).Int(1892, 1);
    r.Int(1896, 1).Int(1904, 3);
    return r;
}

}  // namespace tarnwatch::fakes

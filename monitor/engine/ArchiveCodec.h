// The byte format of messages between the probe client and an agent: 16-bit
// words, length-prefixed 8-bit strings and counted string lists, all
// little-endian, plus the message record itself (CMsgClient).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwatch {

// Largest message a reader accepts. Announced lengths beyond it are refused
// before anything is allocated for them, so a peer cannot make us reserve
// memory by lying about a size.
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

// Appends encoded values to a byte string.
class ArchiveWriter {
public:
    void WriteWord(std::uint16_t value);
    void WriteDword(std::uint32_t value);
    // Length prefix (1, 3 or 7 bytes), then the characters, no terminator.
    void WriteString(std::string_view text);
    // Count (2 or 6 bytes), then each string.
    void WriteStringList(const std::vector<std::string>& lines);

    const std::string& Bytes() const { return bytes_; }
    void Clear() { bytes_.clear(); }

private:
    std::string bytes_;
};

enum class ArchiveStatus {
    kOk,          // the value was read
    kIncomplete,  // more bytes are needed; nothing was consumed
    kMalformed,   // the bytes cannot be a valid value within the bounds
};

// Reads encoded values from a byte range that may hold only part of a
// message. A failed read leaves the position where it was.
class ArchiveReader {
public:
    ArchiveReader(const std::uint8_t* data, std::size_t size, std::size_t limit = kMaxMessageBytes)
        : data_(data), size_(size), limit_(limit) {}

    ArchiveStatus ReadWord(std::uint16_t& value);
    ArchiveStatus ReadDword(std::uint32_t& value);
    // Also accepts 16-bit characters behind the Unicode marker; characters
    // above 0xFF become '?'.
    ArchiveStatus ReadString(std::string& text);
    ArchiveStatus ReadStringList(std::vector<std::string>& lines);

    std::size_t Position() const { return pos_; }

private:
    ArchiveStatus ReadLength(std::uint32_t& length, bool& wide);
    ArchiveStatus Need(std::size_t bytes) const;

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t limit_;
    std::size_t pos_ = 0;
};

// One message of the conversation, in either direction. No class header is
// written: the bytes are the close flag, the text and the lines.
class CMsgClient {
public:
    int closeFlag = 0;
    std::string text;
    std::vector<std::string> lines;

    void Serialize(ArchiveWriter& archive) const;
    // kOk: the whole message was read and `consumed` says how many bytes it
    // took. kIncomplete: wait for more bytes. kMalformed: give up on the peer.
    ArchiveStatus Serialize(const std::uint8_t* data, std::size_t size, std::size_t& consumed);
};

}  // namespace tarnwatch

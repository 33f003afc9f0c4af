// Encoding and decoding of the message bytes; see ArchiveCodec.h.
#include "engine/ArchiveCodec.h"

namespace tarnwatch {

void ArchiveWriter::WriteWord(std::uint16_t value) {
    bytes_.push_back(static_cast<char>(value & 0xFF));
    bytes_.push_back(static_cast<char>(value >> 8));
}

void ArchiveWriter::WriteDword(std::uint32_t value) {
    WriteWord(static_cast<std::uint16_t>(value & 0xFFFF));
    WriteWord(static_cast<std::uint16_t>(value >> 16));
}

void ArchiveWriter::WriteString(std::string_view text) {
    const std::size_t n = text.size();
    if (n < 0xFF) {
        bytes_.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        bytes_.push_back(static_cast<char>(0xFF));
        WriteWord(static_cast<std::uint16_t>(n));
    } else {
        bytes_.push_back(static_cast<char>(0xFF));
        WriteWord(0xFFFF);
        WriteDword(static_cast<std::uint32_t>(n));
    }
    bytes_.append(text.data(), n);
}

void ArchiveWriter::WriteStringList(const std::vector<std::string>& lines) {
    const std::size_t n = lines.size();
    if (n < 0xFFFF) {
        WriteWord(static_cast<std::uint16_t>(n));
    } else {
        WriteWord(0xFFFF);
        WriteDword(static_cast<std::uint32_t>(n));
    }
    for (const auto& line : lines) WriteString(line);
}

ArchiveStatus ArchiveReader::Need(std::size_t bytes) const {
    // Past the limit no more bytes can help: the message is too big.
    if (pos_ + bytes > limit_) return ArchiveStatus::kMalformed;
    if (pos_ + bytes > size_) return ArchiveStatus::kIncomplete;
    return ArchiveStatus::kOk;
}

ArchiveStatus ArchiveReader::ReadWord(std::uint16_t& value) {
    if (auto s = Need(2); s != ArchiveStatus::kOk) return s;
    value = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return ArchiveStatus::kOk;
}

ArchiveStatus ArchiveReader::ReadDword(std::uint32_t& value) {
    if (auto s = Need(4); s != ArchiveStatus::kOk) return s;
    value = static_cast<std::uint32_t>(data_[pos_]) |
            static_cast<std::uint32_t>(data_[pos_ + 1]) << 8 |
            static_cast<std::uint32_t>(data_[pos_ + 2]) << 16 |
            static_cast<std::uint32_t>(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return ArchiveStatus::kOk;
}

ArchiveStatus ArchiveReader::ReadLength(std::uint32_t& length, bool& wide) {
    wide = false;
    // The Unicode marker may only appear once in front of a length.
    for (int marker = 0; marker < 2; ++marker) {
        if (auto s = Need(1); s != ArchiveStatus::kOk) return s;
        std::uint8_t b = data_[pos_++];
        if (b < 0xFF) {
            length = b;
            return ArchiveStatus::kOk;
        }
        std::uint16_t w = 0;
        if (auto s = ReadWord(w); s != ArchiveStatus::kOk) return s;
        if (w == 0xFFFE) {
            if (wide) return ArchiveStatus::kMalformed;
            wide = true;
            continue;
        }
        if (w < 0xFFFE) {
            length = w;
            return ArchiveStatus::kOk;
        }
        return ReadDword(length);
    }
    return ArchiveStatus::kMalformed;
}

ArchiveStatus ArchiveReader::ReadString(std::string& text) {
    const std::size_t start = pos_;
    std::uint32_t length = 0;
    bool wide = false;
    ArchiveStatus s = ReadLength(length, wide);
    if (s == ArchiveStatus::kOk) {
        const std::uint64_t bytes = wide ? std::uint64_t{length} * 2 : length;
        if (pos_ + bytes > limit_) {
            s = ArchiveStatus::kMalformed;
        } else if (pos_ + bytes > size_) {
            s = ArchiveStatus::kIncomplete;
        } else if (wide) {
            text.resize(length);
            for (std::uint32_t i = 0; i < length; ++i) {
                unsigned c = data_[pos_ + 2 * i] | (data_[pos_ + 2 * i + 1] << 8);
                text[i] = c <= 0xFF ? static_cast<char>(c) : '?';
            }
            pos_ += bytes;
        } else {
            text.assign(reinterpret_cast<const char*>(data_ + pos_), length);
            pos_ += bytes;
        }
    }
    if (s != ArchiveStatus::kOk) pos_ = start;
    return s;
}

ArchiveStatus ArchiveReader::ReadStringList(std::vector<std::string>& lines) {
    const std::size_t start = pos_;
    std::uint16_t w = 0;
    std::uint32_t count = 0;
    ArchiveStatus s = ReadWord(w);
    if (s == ArchiveStatus::kOk) {
        count = w;
        if (w == 0xFFFF) s = ReadDword(count);
    }
    lines.clear();
    // Every string takes at least one byte, so the count is checked against
    // the bytes that are left before anything is stored.
    if (s == ArchiveStatus::kOk && pos_ + count > limit_) s = ArchiveStatus::kMalformed;
    for (std::uint32_t i = 0; s == ArchiveStatus::kOk && i < count; ++i) {
        std::string line;
        s = ReadString(line);
        if (s == ArchiveStatus::kOk) lines.push_back(std::move(line));
    }
    if (s != ArchiveStatus::kOk) {
        pos_ = start;
        lines.clear();
    }
    return s;
}

void CMsgClient::Serialize(ArchiveWriter& archive) const {
    archive.WriteWord(static_cast<std::uint16_t>(closeFlag));
    archive.WriteString(text);
    archive.WriteStringList(lines);
}

ArchiveStatus CMsgClient::Serialize(const std::uint8_t* data, std::size_t size,
                                    std::size_t& consumed) {
    ArchiveReader reader(data, size);
    std::uint16_t flag = 0;
    std::string newText;
    std::vector<std::string> newLines;
    ArchiveStatus s = reader.ReadWord(flag);
    if (s == ArchiveStatus::kOk) s = reader.ReadString(newText);
    if (s == ArchiveStatus::kOk) s = reader.ReadStringList(newLines);
    if (s != ArchiveStatus::kOk) return s;
    closeFlag = flag;
    text = std::move(newText);
    lines = std::move(newLines);
    consumed = reader.Position();
    return ArchiveStatus::kOk;
}

}  // namespace tarnwatch

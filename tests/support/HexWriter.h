// Writes Intel HEX text: data records with their checksums and the end-of-file record. Used to
// make firmware files for the converter's cross-check and benchmark.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hexgen {

struct HexStyle {
    std::string_view lineEnd = "\n";
    bool lowerCase = false;
};

inline void AppendByte(std::string& out, unsigned value, const HexStyle& style) {
    const char* digits = style.lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    out += digits[(value >> 4) & 0xF];
    out += digits[value & 0xF];
}

// One record line: length, 16-bit load offset, type, data, then the two's complement of the
// low byte of the sum of all of them.
inline void AppendRecord(std::string& out, unsigned address, unsigned type, const std::uint8_t* data,
                         std::size_t length, const HexStyle& style) {
    unsigned sum = static_cast<unsigned>(length) + (address >> 8) + (address & 0xFF) + type;
    out += ':';
    AppendByte(out, static_cast<unsigned>(length), style);
    AppendByte(out, (address >> 8) & 0xFF, style);
    AppendByte(out, address & 0xFF, style);
    AppendByte(out, type, style);
    for (std::size_t i = 0; i < length; ++i) {
        AppendByte(out, data[i], style);
        sum += data[i];
    }
    AppendByte(out, (0x100 - (sum & 0xFF)) & 0xFF, style);
    out += style.lineEnd;
}

inline void AppendData(std::string& out, unsigned address, const std::vector<std::uint8_t>& data,
                       const HexStyle& style = {}) {
    AppendRecord(out, address, 0x00, data.data(), data.size(), style);
}

inline void AppendEnd(std::string& out, const HexStyle& style = {}) { AppendRecord(out, 0, 0x01, nullptr, 0, style); }

// A block of bytes from `address` on, cut into records of `recordLength` bytes.
inline void AppendBlock(std::string& out, unsigned address, const std::vector<std::uint8_t>& bytes,
                        std::size_t recordLength, const HexStyle& style = {}) {
    for (std::size_t at = 0; at < bytes.size(); at += recordLength) {
        const std::size_t length = std::min(recordLength, bytes.size() - at);
        AppendRecord(out, address + static_cast<unsigned>(at), 0x00, bytes.data() + at, length, style);
    }
}

}  // namespace hexgen

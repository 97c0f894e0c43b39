// The HEX conversion on any bytes: the image is whole pages of at most 257, empty when the file is
// invalid, and exactly what a plain reading of the conversion rules gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/HexImage.h"
#include "tests/fuzz/FuzzRule.h"

namespace {

using Image = std::vector<std::uint8_t>;

// The firmware file as a text-mode read delivers it: each CR LF arrives as LF.
std::string TextMode(std::string_view bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

// The lines as reads of at most 199 characters give them: each read stops after a line feed,
// which is dropped, or after 199 characters.
std::vector<std::string> Reads(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t length = std::min<std::size_t>(199, text.size() - at);
        const std::size_t lf = text.find('\n', at);
        if (lf != std::string::npos && lf - at < length) length = lf - at + 1;
        std::string line = text.substr(at, length);
        at += length;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two hexadecimal digits at position at of the line, both present.
bool Pair(const std::string& line, std::size_t at, unsigned& value) {
    if (at + 2 > line.size()) return false;
    const int high = Digit(line[at]);
    const int low = Digit(line[at + 1]);
    if (high < 0 || low < 0) return false;
    value = static_cast<unsigned>(high * 16 + low);
    return true;
}

// Record by record up to the first end-of-file record; a record that does not hold its fields
// in hexadecimal digits makes the file invalid.
std::optional<Image> Reference(std::string_view bytes) {
    Image image(256, 0xFF);
    for (const std::string& line : Reads(TextMode(bytes))) {
        unsigned length = 0, high = 0, low = 0, type = 0;
        if (line.empty() || line[0] != ':') return std::nullopt;
        if (!Pair(line, 1, length) || !Pair(line, 3, high) || !Pair(line, 5, low) || !Pair(line, 7, type))
            return std::nullopt;
        if (type == 0x01) return image;
        if (type == 0x02 || type == 0x03) continue;
        if (type != 0x00) return std::nullopt;
        unsigned sum = length + high + low + type;
        for (unsigned i = 0; i < length; ++i) {
            unsigned byte = 0;
            if (!Pair(line, 9 + 2 * i, byte)) return std::nullopt;
            const std::size_t address = high * 256 + low + i;
            while (address >= image.size()) image.insert(image.end(), 256, 0xFF);
            image[address] = static_cast<std::uint8_t>(byte);
            sum += byte;
        }
        unsigned checksum = 0;
        if (!Pair(line, 9 + 2 * length, checksum) || checksum != (256 - sum % 256) % 256) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzrule::Require;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const firmware::HexConversion result = firmware::ConvertHexToImage(bytes);
    const std::optional<Image> expected = Reference(bytes);
    if (result.status == firmware::HexStatus::Ok) {
        Require(!result.image.empty() && result.image.size() % 256 == 0, "an accepted image is whole pages");
        Require(result.image.size() <= 257 * 256, "an accepted image is at most 257 pages");
        Require(expected.has_value(), "a file the rules reject was accepted");
        Require(result.image == *expected, "the image differs from the one the rules give");
    } else {
        Require(result.status == firmware::HexStatus::Invalid, "the conversion ends accepted or invalid");
        Require(result.image.empty(), "an invalid file leaves no image");
        Require(!expected.has_value(), "a file the rules accept was rejected");
    }
    return 0;
}

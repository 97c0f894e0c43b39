// Firmware for a test: a page image with varied bytes and the HEX file that describes it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/HexWriter.h"

namespace e2e {

struct Firmware {
    std::vector<std::uint8_t> image;
    std::string hex;
};

// An image of `pages` pages (1 to 257) in 32-byte records.
inline Firmware MakeFirmware(unsigned pages) {
    Firmware f;
    f.image.resize(pages * 256u);
    for (size_t i = 0; i < f.image.size(); ++i) {
        f.image[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    }
    if (pages <= 256) {
        hexgen::AppendBlock(f.hex, 0, f.image, 32);
    } else {
        // Load offsets are 16 bits: only a record that starts below 0x10000 and runs past it
        // reaches page 256, at most 93 bytes long. The rest of that page is fill.
        const unsigned crossing = 0xFFC0;
        std::vector<std::uint8_t> head(f.image.begin(), f.image.begin() + crossing);
        std::vector<std::uint8_t> last(f.image.begin() + crossing, f.image.begin() + crossing + 93);
        hexgen::AppendBlock(f.hex, 0, head, 32);
        hexgen::AppendData(f.hex, crossing, last);
        std::fill(f.image.begin() + crossing + 93, f.image.end(), 0xFF);
    }
    hexgen::AppendEnd(f.hex);
    return f;
}

}  // namespace e2e

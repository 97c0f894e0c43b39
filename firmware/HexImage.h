// Intel HEX firmware file to page image: the flat bytes the boot loader is sent page by page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "firmware/LineReader.h"
#include "firmware/PageSize.h"

namespace firmware {

enum class HexStatus { Ok, Invalid, ReadFailed };

// The image in a fixed block as large as the largest image: converting allocates nothing, and
// every address a record can name lies inside the block.
struct PageImage {
    std::array<std::uint8_t, kMaxPages * kPageSize> bytes;
    std::size_t size = 0;  // whole pages; the bytes after it mean nothing
};

// Reads the firmware file line by line up to its end-of-file record and nothing after it. The
// image is complete only when Ok. ReadFailed: the source failed before the end-of-file record.
HexStatus ConvertHexToImage(ByteSource& source, PageImage& image);

struct HexConversion {
    HexStatus status;
    std::vector<std::uint8_t> image;  // whole pages, unset bytes 0xFF; empty unless Ok
};

// fileBytes: the firmware file exactly as stored (line ends as they are on disk).
HexConversion ConvertHexToImage(std::string_view fileBytes);

}  // namespace firmware

// Intel HEX firmware file to page image: the flat bytes the boot loader is sent page by page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace firmware {

inline constexpr std::size_t kPageSize = 256;
// Load offsets are 16 bits and a record may run past 0xFFFF by less than one page.
inline constexpr std::size_t kMaxPages = 257;

enum class HexStatus { Ok, Invalid };

struct HexConversion {
  HexStatus status;
  std::vector<std::uint8_t> image;  // whole pages, unset bytes 0xFF; empty unless Ok
};

// fileBytes: the firmware file exactly as stored (line ends as they are on disk).
HexConversion ConvertHexToImage(std::string_view fileBytes);

}  // namespace firmware

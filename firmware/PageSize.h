// The page: the unit the image is built in and the boot loader is sent.
#pragma once

#include <cstddef>

namespace firmware {

inline constexpr std::size_t kPageSize = 256;
// Load offsets are 16 bits and a record may run past 0xFFFF by less than one page.
inline constexpr std::size_t kMaxPages = 257;

}  // namespace firmware

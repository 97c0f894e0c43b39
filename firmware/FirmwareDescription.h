// The firmware description file: line 1 the firmware version text, line 2 the firmware file
// name beside the program. Both are taken verbatim.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "firmware/LineReader.h"

namespace firmware {

// Longer than any path the platform can open: a longer line is no description of ours.
inline constexpr std::size_t kLongestDescriptionLine = 32767;

struct FirmwareDescription {
    bool hasVersion;   // the file has a line 1
    bool hasFileName;  // the file has a line 2 (which may be empty)
    std::string version;
    std::string fileName;
};

enum class DescriptionStatus { Ok, ReadFailed, LineTooLong };

// Reads lines 1 and 2 and nothing after them; LF and CR LF line ends are both accepted.
DescriptionStatus ReadFirmwareDescription(ByteSource& source, FirmwareDescription& description);

// fileBytes: the description file exactly as stored.
FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes);

}  // namespace firmware

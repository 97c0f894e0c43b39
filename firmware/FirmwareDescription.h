// The firmware description file: line 1 the firmware version text, line 2 the firmware file
// name beside the program. Both are taken verbatim.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "firmware/LineReader.h"

namespace firmware {

// Longer than any path the platform can open: a longer line is kept cut at this length.
inline constexpr std::size_t kLongestDescriptionLine = 32767;

struct FirmwareDescription {
    bool hasVersion = false;   // the file has a line 1
    bool hasFileName = false;  // the file has a line 2 (which may be empty)
    std::string version;       // cut at the longest line
    std::string fileName;      // cut at the longest line
    // Line 2 was longer than any path: whatever it names can't be opened.
    bool fileNameTooLong = false;
};

enum class DescriptionStatus { Ok, ReadFailed };

// Reads lines 1 and 2 and nothing after them; LF and CR LF line ends are both accepted. A line
// longer than the longest is kept cut, and the rest of it is passed over.
DescriptionStatus ReadFirmwareDescription(ByteSource& source, FirmwareDescription& description);

// fileBytes: the description file exactly as stored.
FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes);

}  // namespace firmware

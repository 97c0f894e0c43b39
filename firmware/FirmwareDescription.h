// The firmware description file: line 1 the firmware version text, line 2 the firmware file
// name beside the program. Both are taken verbatim.
#pragma once

#include <string>
#include <string_view>

namespace firmware {

struct FirmwareDescription {
  bool hasVersion;   // the file has a line 1
  bool hasFileName;  // the file has a line 2 (which may be empty)
  std::string version;
  std::string fileName;
};

// fileBytes: the description file exactly as stored; LF and CR LF line ends are both accepted.
FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes);

}  // namespace firmware

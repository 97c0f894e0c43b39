#include "firmware/FirmwareDescription.h"

namespace firmware {
namespace {

// Takes the next line off rest. Only its LF or CR LF is dropped: a blank in a file name is part
// of the name. A last line without a line end still counts.
bool TakeLine(std::string_view& rest, std::string& line) {
  if (rest.empty()) return false;
  const std::size_t lf = rest.find('\n');
  std::string_view text = rest.substr(0, lf);
  if (lf == std::string_view::npos) {
    rest = {};
  } else {
    rest.remove_prefix(lf + 1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  }
  line.assign(text);
  return true;
}

}  // namespace

FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes) {
  FirmwareDescription description{false, false, {}, {}};
  std::string_view rest = fileBytes;
  description.hasVersion = TakeLine(rest, description.version);
  if (description.hasVersion) description.hasFileName = TakeLine(rest, description.fileName);
  return description;
}

}  // namespace firmware

#include "firmware/FirmwareDescription.h"

namespace firmware {
namespace {

// One line whole, or the reason there is none. Only its LF or CR LF is dropped: a blank in a file
// name is part of the name. A last line without a line end still counts.
DescriptionStatus TakeLine(LineReader& reader, std::span<char> storage, bool& has, std::string& value) {
    std::string_view line;
    bool ended = false;
    switch (reader.Next(storage, storage.size(), line, ended)) {
        case LineStatus::ReadFailed: return DescriptionStatus::ReadFailed;
        case LineStatus::End: has = false; return DescriptionStatus::Ok;
        case LineStatus::Line: break;
    }
    if (line.size() > kLongestDescriptionLine) return DescriptionStatus::LineTooLong;
    has = true;
    value.assign(line);
    return DescriptionStatus::Ok;
}

}  // namespace

DescriptionStatus ReadFirmwareDescription(ByteSource& source, FirmwareDescription& description) {
    description = FirmwareDescription{false, false, {}, {}};
    LineReader reader(source);
    // One character more than the longest line: a line that fills it is too long.
    char room[kLongestDescriptionLine + 1];
    DescriptionStatus status = TakeLine(reader, room, description.hasVersion, description.version);
    if (status == DescriptionStatus::Ok && description.hasVersion) {
        status = TakeLine(reader, room, description.hasFileName, description.fileName);
    }
    if (status != DescriptionStatus::Ok) description = FirmwareDescription{false, false, {}, {}};
    return status;
}

FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes) {
    TextSource source(fileBytes);
    FirmwareDescription description{false, false, {}, {}};
    ReadFirmwareDescription(source, description);
    return description;
}

}  // namespace firmware

#include "firmware/FirmwareDescription.h"

namespace firmware {
namespace {

// Passes over the rest of a line whose start has been taken.
DescriptionStatus SkipRestOfLine(LineReader& reader, std::span<char> storage) {
    std::string_view piece;
    bool ended = false;
    while (!ended) {
        switch (reader.Next(storage, storage.size(), piece, ended)) {
            case LineStatus::ReadFailed: return DescriptionStatus::ReadFailed;
            case LineStatus::End: return DescriptionStatus::Ok;
            case LineStatus::Line: break;
        }
    }
    return DescriptionStatus::Ok;
}

// One line, or the reason there is none. Only its LF or CR LF is dropped: a blank in a file name
// is part of the name. A last line without a line end still counts.
DescriptionStatus TakeLine(LineReader& reader, std::span<char> storage, bool& has, std::string& value,
                           bool& tooLong) {
    std::string_view line;
    bool ended = false;
    switch (reader.Next(storage, storage.size(), line, ended)) {
        case LineStatus::ReadFailed: return DescriptionStatus::ReadFailed;
        case LineStatus::End: has = false; return DescriptionStatus::Ok;
        case LineStatus::Line: break;
    }
    has = true;
    tooLong = line.size() > kLongestDescriptionLine;
    value.assign(line.substr(0, kLongestDescriptionLine));
    return tooLong && !ended ? SkipRestOfLine(reader, storage) : DescriptionStatus::Ok;
}

}  // namespace

DescriptionStatus ReadFirmwareDescription(ByteSource& source, FirmwareDescription& description) {
    description = FirmwareDescription{};
    LineReader reader(source);
    // One character more than the longest line: a line that fills it is too long.
    char room[kLongestDescriptionLine + 1];
    bool versionTooLong = false;
    DescriptionStatus status = TakeLine(reader, room, description.hasVersion, description.version, versionTooLong);
    if (status == DescriptionStatus::Ok && description.hasVersion) {
        status = TakeLine(reader, room, description.hasFileName, description.fileName, description.fileNameTooLong);
    }
    if (status != DescriptionStatus::Ok) description = FirmwareDescription{};
    return status;
}

FirmwareDescription ParseFirmwareDescription(std::string_view fileBytes) {
    TextSource source(fileBytes);
    FirmwareDescription description{};
    ReadFirmwareDescription(source, description);
    return description;
}

}  // namespace firmware

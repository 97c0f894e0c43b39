#include "firmware/HexImage.h"

#include <algorithm>
#include <array>
#include <memory>

namespace firmware {
namespace {

constexpr std::uint8_t kFillByte = 0xFF;
// One line read takes at most this many characters, its line feed included; a longer line
// comes back in pieces, each piece read as a line of its own.
constexpr std::size_t kReadLimit = 199;
constexpr std::size_t kHeaderEnd = 9;  // ':' and four two-digit fields
constexpr std::size_t kMaxRecordData = (kReadLimit - kHeaderEnd - 2) / 2;
static_assert(0xFFFF + kMaxRecordData < kMaxPages * kPageSize,
              "a record that fits in one read ends within the last page");

// Digit values; anything that is not a hexadecimal digit carries the kNotHex bit.
constexpr std::uint8_t kNotHex = 0x10;
constexpr std::array<std::uint8_t, 256> MakeDigitTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotHex);
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    return table;
}
constexpr std::array<std::uint8_t, 256> kDigit = MakeDigitTable();

// Decodes the digit pair at p; ORs the digits into notHex so a caller checks once per record.
inline unsigned DecodePair(const char* p, unsigned& notHex) {
    const unsigned high = kDigit[static_cast<unsigned char>(p[0])];
    const unsigned low = kDigit[static_cast<unsigned char>(p[1])];
    notHex |= high | low;
    return (high << 4) | low;
}

struct Header {
    unsigned length;
    unsigned address;
    unsigned type;
    unsigned sum;  // of the four header bytes, where the record checksum starts
};

bool ReadHeader(std::string_view line, Header& header) {
    if (line.size() < kHeaderEnd) return false;
    unsigned notHex = 0;
    const unsigned length = DecodePair(&line[1], notHex);
    const unsigned high = DecodePair(&line[3], notHex);
    const unsigned low = DecodePair(&line[5], notHex);
    const unsigned type = DecodePair(&line[7], notHex);
    header = {length, (high << 8) | low, type, length + high + low + type};
    return (notHex & kNotHex) == 0;
}

// The image grows in whole pages of fill bytes as data reaches past its end.
class ImageWriter {
public:
    explicit ImageWriter(PageImage& image) : image_(image) {
        std::fill_n(image_.bytes.begin(), kPageSize, kFillByte);
        image_.size = kPageSize;
    }

    // A data record: every byte lands at its address (a later record wins), then the checksum
    // decides. Fields that the line does not hold, or that are not hex digits, fail the record.
    bool ApplyData(std::string_view line, const Header& header) {
        const std::size_t checksumAt = kHeaderEnd + 2 * std::size_t{header.length};
        if (line.size() < checksumAt + 2) return false;
        const char* digits = line.data() + kHeaderEnd;
        unsigned sum = header.sum;
        unsigned notHex = 0;
        if (header.length > 0) {
            Cover(std::size_t{header.address} + header.length);
            std::uint8_t* out = image_.bytes.data() + header.address;
            for (unsigned i = 0; i < header.length; ++i, digits += 2) {
                const unsigned value = DecodePair(digits, notHex);
                out[i] = static_cast<std::uint8_t>(value);
                sum += value;
            }
        }
        sum += DecodePair(digits, notHex);
        return (notHex & kNotHex) == 0 && (sum & 0xFF) == 0;
    }

private:
    void Cover(std::size_t end) {
        if (end <= image_.size) return;
        const std::size_t covered = (end + kPageSize - 1) / kPageSize * kPageSize;
        std::fill(image_.bytes.begin() + image_.size, image_.bytes.begin() + covered, kFillByte);
        image_.size = covered;
    }

    PageImage& image_;
};

enum class Outcome { NextLine, EndOfFile, Invalid };

Outcome ReadRecord(std::string_view line, ImageWriter& image) {
    Header header{};
    if (line.empty() || line[0] != ':' || !ReadHeader(line, header)) return Outcome::Invalid;
    switch (header.type) {
        case 0x00: return image.ApplyData(line, header) ? Outcome::NextLine : Outcome::Invalid;
        case 0x01:  // nothing after it is read, and its own fields do not matter
            return Outcome::EndOfFile;
        case 0x02:  // segment records move nothing here: skipped unread, checksum included
        case 0x03: return Outcome::NextLine;
        default: return Outcome::Invalid;
    }
}

}  // namespace

HexStatus ConvertHexToImage(ByteSource& source, PageImage& image) {
    ImageWriter writer(image);
    LineReader reader(source);
    char storage[kReadLimit];
    for (;;) {
        std::string_view line;
        bool ended = false;
        switch (reader.Next(storage, kReadLimit, line, ended)) {
            case LineStatus::End: return HexStatus::Invalid;  // the file ended before its end-of-file record
            case LineStatus::ReadFailed: return HexStatus::ReadFailed;
            case LineStatus::Line: break;
        }
        switch (ReadRecord(line, writer)) {
            case Outcome::NextLine: continue;
            case Outcome::EndOfFile: return HexStatus::Ok;
            case Outcome::Invalid: return HexStatus::Invalid;
        }
    }
}

HexConversion ConvertHexToImage(std::string_view fileBytes) {
    TextSource source(fileBytes);
    auto image = std::make_unique<PageImage>();
    const HexStatus status = ConvertHexToImage(source, *image);
    if (status != HexStatus::Ok) return {status, {}};
    return {status, std::vector<std::uint8_t>(image->bytes.begin(), image->bytes.begin() + image->size)};
}

}  // namespace firmware

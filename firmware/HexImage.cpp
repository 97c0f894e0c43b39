#include "firmware/HexImage.h"

#include <algorithm>
#include <array>
#include <utility>

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

// Hands out the file's lines as a text-mode line read does: CR LF arrives as LF (a lone CR is
// an ordinary character), and a read stops after its LF or after kReadLimit characters.
// A line never includes its line end.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t lf = rest_.find('\n');
    if (lf == std::string_view::npos) return Take(std::min(rest_.size(), kReadLimit), 0, line);
    const std::size_t length = (lf > 0 && rest_[lf - 1] == '\r') ? lf - 1 : lf;
    if (length < kReadLimit) return Take(length, lf + 1 - length, line);
    return Take(kReadLimit, 0, line);
  }

 private:
  bool Take(std::size_t length, std::size_t lineEnd, std::string_view& line) {
    line = rest_.substr(0, length);
    rest_.remove_prefix(length + lineEnd);
    return true;
  }

  std::string_view rest_;
};

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
class PageImage {
 public:
  PageImage() {
    bytes_.reserve(kMaxPages * kPageSize);
    bytes_.assign(kPageSize, kFillByte);
  }

  // A data record: every byte lands at its address (a later record wins), then the checksum
  // decides. Fields that the line does not hold, or that are not hex digits, fail the record.
  bool ApplyData(std::string_view line, const Header& header) {
    const std::size_t checksumAt = kHeaderEnd + 2 * std::size_t{header.length};
    if (line.size() < checksumAt + 2) return false;
    if (header.length > 0) Cover(std::size_t{header.address} + header.length);
    const char* digits = line.data() + kHeaderEnd;
    std::uint8_t* out = bytes_.data() + header.address;
    unsigned sum = header.sum;
    unsigned notHex = 0;
    for (unsigned i = 0; i < header.length; ++i, digits += 2) {
      const unsigned value = DecodePair(digits, notHex);
      out[i] = static_cast<std::uint8_t>(value);
      sum += value;
    }
    sum += DecodePair(digits, notHex);
    return (notHex & kNotHex) == 0 && (sum & 0xFF) == 0;
  }

  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  void Cover(std::size_t end) {
    if (end <= bytes_.size()) return;
    bytes_.resize((end + kPageSize - 1) / kPageSize * kPageSize, kFillByte);
  }

  std::vector<std::uint8_t> bytes_;
};

enum class Outcome { NextLine, EndOfFile, Invalid };

Outcome ReadRecord(std::string_view line, PageImage& image) {
  Header header{};
  if (line.empty() || line[0] != ':' || !ReadHeader(line, header)) return Outcome::Invalid;
  switch (header.type) {
    case 0x00:
      return image.ApplyData(line, header) ? Outcome::NextLine : Outcome::Invalid;
    case 0x01:  // nothing after it is read, and its own fields do not matter
      return Outcome::EndOfFile;
    case 0x02:  // segment records move nothing here: skipped unread, checksum included
    case 0x03:
      return Outcome::NextLine;
    default:
      return Outcome::Invalid;
  }
}

}  // namespace

HexConversion ConvertHexToImage(std::string_view fileBytes) {
  PageImage image;
  LineReader reader(fileBytes);
  std::string_view line;
  while (reader.Next(line)) {
    switch (ReadRecord(line, image)) {
      case Outcome::NextLine:
        continue;
      case Outcome::EndOfFile:
        return {HexStatus::Ok, image.Take()};
      case Outcome::Invalid:
        return {HexStatus::Invalid, {}};
    }
  }
  return {HexStatus::Invalid, {}};  // the file ended before its end-of-file record
}

}  // namespace firmware

#include "firmware/HexImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/HexWriter.h"

namespace {

using namespace std::string_literals;
using firmware::ConvertHexToImage;
using firmware::HexStatus;

using Bytes = std::vector<std::uint8_t>;

struct Placed {
    std::size_t address;
    Bytes bytes;
};

// The image a case expects: whole pages of 0xFF with the given bytes at their addresses.
Bytes ImageOf(std::size_t pages, const std::vector<Placed>& placed) {
    Bytes image(pages * 256, 0xFF);
    for (const Placed& p : placed) {
        for (std::size_t i = 0; i < p.bytes.size(); ++i) image.at(p.address + i) = p.bytes[i];
    }
    return image;
}

const std::string kEnd = ":00000001FF\n";
const std::string kByteAt0100 = ":01010000AA54";                          // 0xAA at 0x0100
const std::string kZeros93 = ":5D000000" + std::string(186, '0') + "A3";  // 197 characters
const std::string kZeros94 = ":5E000000" + std::string(188, '0') + "A2";  // 199 characters
const std::string kZeros95 = ":5F000000" + std::string(190, '0') + "A1";  // 201 characters
const std::string kZeros93AtFFFF = ":5DFFFF00" + std::string(186, '0') + "A5";
// A record followed by blanks so the characters before the line end number 198 or 199.
const std::string kPadded198 = kByteAt0100 + std::string(198 - 13, ' ');
const std::string kPadded199 = kByteAt0100 + std::string(199 - 13, ' ');

struct HexCase {
    const char* name;
    std::string text;
    HexStatus status;
    std::size_t pages;  // when accepted
    std::vector<Placed> placed;
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << c.name; }

class HexConversionTest : public testing::TestWithParam<HexCase> {};

TEST_P(HexConversionTest, GivesTheImageOrRejectsTheFile) {
    const HexCase& c = GetParam();
    const firmware::HexConversion result = ConvertHexToImage(c.text);
    ASSERT_EQ(result.status, c.status);
    if (c.status == HexStatus::Ok) {
        EXPECT_EQ(result.image, ImageOf(c.pages, c.placed));
    } else {
        EXPECT_TRUE(result.image.empty());
    }
}

const HexCase kAccepted[] = {
    {"EndOfFileRecordAloneGivesOnePageOfFill", kEnd, HexStatus::Ok, 1, {}},
    {"SingleByteAt0100GivesTwoPages", kByteAt0100 + "\n" + kEnd, HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    {"RecordsInRisingOrder",
     ":020000001122CB\n:02000200334485\n" + kEnd,
     HexStatus::Ok,
     1,
     {{0, {0x11, 0x22, 0x33, 0x44}}}},
    {"RecordsInFallingOrderGiveTheSameImage",
     ":02000200334485\n:020000001122CB\n" + kEnd,
     HexStatus::Ok,
     1,
     {{0, {0x11, 0x22, 0x33, 0x44}}}},
    {"LaterRecordForAnAddressWins", ":020000001122CB\n:010001009965\n" + kEnd, HexStatus::Ok, 1, {{0, {0x11, 0x99}}}},
    {"DataPastFFFFContinuesWithoutWrapping",
     ":10FFF800000102030405060708090A0B0C0D0E0F81\n" + kEnd,
     HexStatus::Ok,
     257,
     {{0xFFF8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}}},
    {"Record93AtFFFFReachesThe257thPage",
     kZeros93AtFFFF + "\n" + kEnd,
     HexStatus::Ok,
     257,
     {{0xFFFF, Bytes(93, 0x00)}}},
    {"EmptyDataRecordGrowsNothing", ":00030000FD\n" + kEnd, HexStatus::Ok, 1, {}},
    {"LowerCaseDigits", ":04123400deadbeef7e\n:00000001ff\n", HexStatus::Ok, 19, {{0x1234, {0xDE, 0xAD, 0xBE, 0xEF}}}},
    {"CrLfLineEnds", kByteAt0100 + "\r\n:00000001FF\r\n", HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    {"MixedLineEnds", kByteAt0100 + "\r\n:01000000AA55\n" + kEnd, HexStatus::Ok, 2, {{0, {0xAA}}, {0x100, {0xAA}}}},
    {"LastLineWithoutLineEnd", kByteAt0100 + "\n:00000001FF", HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    {"CharactersAfterTheChecksumIgnored",
     kByteAt0100 + " ;x\r\n:00000001FF trailer\n",
     HexStatus::Ok,
     2,
     {{0x100, {0xAA}}}},
    {"SegmentAddressRecordIgnoredEvenWithBadChecksum",
     ":020000021000FF\n:01000000AA55\n" + kEnd,
     HexStatus::Ok,
     1,
     {{0, {0xAA}}}},
    {"StartSegmentRecordIgnoredEvenWithBadChecksum",
     ":0400000300001234FF\n:01000000AA55\n" + kEnd,
     HexStatus::Ok,
     1,
     {{0, {0xAA}}}},
    {"SegmentRecordSkippedAfterItsHeader", ":02000002zz\n:04000003\n" + kEnd, HexStatus::Ok, 1, {}},
    {"EndOfFileRecordFieldsNotLookedAt", ":FF123401\n", HexStatus::Ok, 1, {}},
    {"LinesAfterEndOfFileNeverRead", kEnd + "\n :junk\n:020000040000FA\n:0G", HexStatus::Ok, 1, {}},
    {"DataAfterEndOfFileNotApplied", kEnd + ":01000000AA55\n", HexStatus::Ok, 1, {}},
    {"Record93BytesFitsOneRead", kZeros93 + "\n" + kEnd, HexStatus::Ok, 1, {{0, Bytes(93, 0)}}},
    {"Line198CharactersFitsOneRead", kPadded198 + "\n" + kEnd, HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    {"Line198CharactersWithCrLfFitsOneRead", kPadded198 + "\r\n:00000001FF\r\n", HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    // The 199th character ends a read: what follows comes back as a line of its own.
    {"RemainderOfLongLineReadAsEndOfFileRecord", kPadded199 + kEnd, HexStatus::Ok, 2, {{0x100, {0xAA}}}},
    {"RemainderOfLongLineReadAsDataRecord",
     kPadded199 + ":01020000BB42\n" + kEnd,
     HexStatus::Ok,
     3,
     {{0x100, {0xAA}}, {0x200, {0xBB}}}},
};
INSTANTIATE_TEST_SUITE_P(Accepted, HexConversionTest, testing::ValuesIn(kAccepted),
                         [](const auto& info) { return std::string(info.param.name); });

const HexCase kRejected[] = {
    {"EmptyFile", "", HexStatus::Invalid, 0, {}},
    {"OnlyALineEnd", "\n", HexStatus::Invalid, 0, {}},
    {"NoEndOfFileRecord", kByteAt0100 + "\n", HexStatus::Invalid, 0, {}},
    {"BlankLineBetweenRecords", kByteAt0100 + "\n\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"LineBeginsWithABlank", " " + kEnd, HexStatus::Invalid, 0, {}},
    {"ExtendedLinearAddressRecord", ":020000040000FA\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"StartLinearAddressRecord", ":0400000500000000F7\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"UnknownRecordType", ":00000006FA\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"SecondChecksumDigitWrong", ":01010000AA55\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"FirstChecksumDigitWrong", ":01010000AA44\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"DataDigitWrong", ":01010000AB54\n" + kEnd, HexStatus::Invalid, 0, {}},
    // 199 characters fill one read; the line end comes back as an empty line.
    {"Record94BytesSplitByTheRead", kZeros94 + "\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"Line199CharactersSplitByTheRead", kPadded199 + "\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"Record95BytesChecksumBeyondTheRead", kZeros95 + "\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"LoneCrIsNoLineEnd", kByteAt0100 + "\r" + kEnd, HexStatus::Invalid, 0, {}},
    {"ChecksumMissing", ":01010000AA\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"ChecksumCutByLineEnd", ":01010000AA5\n4\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"FewerDataBytesThanTheLength", ":02010000AA53\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"HeaderCutShort", ":0000000\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"ColonAlone", ":\n" + kEnd, HexStatus::Invalid, 0, {}},
    // Each of these would pass a field reader that skips blanks or takes signs.
    {"SignInHeader", ":+1010000AA54\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"BlankInHeader", ": 1010000AA54\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"BlankInEndOfFileHeader", ":0000000 1FF\n", HexStatus::Invalid, 0, {}},
    {"NonHexDataDigit", ":01010000AG54\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"NonHexChecksumDigit", ":01010000AA5G\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"NulInData", ":01010000A\0"s + "54\n" + kEnd, HexStatus::Invalid, 0, {}},
    // A digit table that let these through would read 9G as 0x90 and 7G as 0x70, which the
    // checksums here would then confirm.
    {"NonHexDataDigitWithMatchingChecksum", ":010100009G6E\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"NonHexChecksumDigitWithMatchingSum", ":010100008E7G\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"NulInDataWithMatchingChecksum", ":010100009\0"s + "6E\n" + kEnd, HexStatus::Invalid, 0, {}},
    {"NulInHeader", ":0101\0"s + "000AA54\n" + kEnd, HexStatus::Invalid, 0, {}},
};
INSTANTIATE_TEST_SUITE_P(Rejected, HexConversionTest, testing::ValuesIn(kRejected),
                         [](const auto& info) { return std::string(info.param.name); });

// Larger files, written record by record.
Bytes Counting(std::size_t count, unsigned seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

TEST(HexConversionSizes, SixteenPagesFrom0000To0FFFAreTheDataInAddressOrder) {
    const Bytes data = Counting(0x1000, 3);
    std::string text;
    hexgen::AppendBlock(text, 0x0000, data, 16);
    hexgen::AppendEnd(text);
    const auto result = ConvertHexToImage(text);
    ASSERT_EQ(result.status, HexStatus::Ok);
    EXPECT_EQ(result.image, data);
}

TEST(HexConversionSizes, TwoBlocksFarApartGive49PagesWithFillBetween) {
    const Bytes low = Counting(256, 1);
    const Bytes high = Counting(256, 2);
    std::string text;
    hexgen::AppendBlock(text, 0x0000, low, 32);
    hexgen::AppendBlock(text, 0x3000, high, 32);
    hexgen::AppendEnd(text);
    const auto result = ConvertHexToImage(text);
    ASSERT_EQ(result.status, HexStatus::Ok);
    EXPECT_EQ(result.image, ImageOf(49, {{0x0000, low}, {0x3000, high}}));
}

TEST(HexConversionSizes, LargestImageIs257PagesWhenTheLastRecordCrossesFFFF) {
    const Bytes data = Counting(0x10000, 5);
    std::string text;
    hexgen::AppendBlock(text, 0x0008, data, 16);  // the last record, at 0xFFF8, ends at 0x10007
    hexgen::AppendEnd(text);
    const auto result = ConvertHexToImage(text);
    ASSERT_EQ(result.status, HexStatus::Ok);
    EXPECT_EQ(result.image, ImageOf(257, {{0x0008, data}}));
}

// The text ends exactly at the end of its buffer, so a read past a field shows under a checker.
TEST(HexConversionBounds, TruncatedLastLineIsRejectedWithinItsBuffer) {
    for (const char* text : {":", ":01", ":0101000", ":01010000", ":01010000A", ":01010000AA5"}) {
        const std::string s(text);
        const std::vector<char> exact(s.begin(), s.end());
        const auto result = ConvertHexToImage(std::string_view(exact.data(), exact.size()));
        EXPECT_EQ(result.status, HexStatus::Invalid) << text;
    }
}

}  // namespace

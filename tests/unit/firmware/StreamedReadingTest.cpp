// The firmware file and the description file are read from a source of bytes, line by line: the
// result does not depend on how the source cuts its reads, and nothing past the last line needed
// is asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteSources.h"
#include "firmware/FirmwareDescription.h"
#include "firmware/HexImage.h"
#include "tests/support/HexWriter.h"

namespace {

using firmware::HexStatus;
using testsource::ScriptedSource;

std::vector<std::uint8_t> Converted(firmware::ByteSource& source, HexStatus& status) {
    auto image = std::make_unique<firmware::PageImage>();
    status = firmware::ConvertHexToImage(source, *image);
    return {image->bytes.begin(), image->bytes.begin() + image->size};
}

// Line ends split across reads (a CR at the end of one, its LF at the start of the next) and long
// lines cut at the read limit give the same outcome as the whole text at once.
TEST(StreamedHex, AnyReadSizeGivesTheSameOutcome) {
    std::vector<std::uint8_t> data(700);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13);
    std::string good;
    hexgen::AppendBlock(good, 0x0F00, data, 93);
    hexgen::AppendEnd(good);
    std::string crlf;
    for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string longLine = ":00000001FF" + std::string(200, ' ') + "\n";  // cut at 199: remainder invalid
    const std::string zeros94 = ":5E000000" + std::string(188, '0') + "A2\r\n:00000001FF\r\n";

    for (const std::string& text : {good, crlf, longLine, zeros94, std::string("2.32\r")}) {
        const firmware::HexConversion whole = firmware::ConvertHexToImage(text);
        for (std::size_t step : {1u, 2u, 3u, 7u, 198u, 199u, 200u, 4096u}) {
            ScriptedSource source(text, step, false);
            HexStatus status{};
            const auto image = Converted(source, status);
            ASSERT_EQ(status, whole.status) << "read size " << step << " of " << text.substr(0, 20);
            if (status == HexStatus::Ok) {
                EXPECT_EQ(image, whole.image) << "read size " << step;
            }
        }
    }
}

// After the end-of-file record nothing is read: a read error there changes nothing. Before it, a
// read error ends the conversion as such.
TEST(StreamedHex, NothingAfterTheEndRecordIsRead) {
    std::string text = ":0100100042AD\r\n:00000001FF\r\n";
    for (std::size_t step : {1u, 5u, 4096u}) {
        ScriptedSource source(text, step, true);
        HexStatus status{};
        const auto image = Converted(source, status);
        EXPECT_EQ(status, HexStatus::Ok) << step;
        EXPECT_EQ(source.ReadsPastText(), 0) << step;
        ASSERT_EQ(image.size(), 256u);
        EXPECT_EQ(image[0x10], 0x42);
    }
    ScriptedSource cutShort(":0100100042AD\r\n", 4096, true);
    HexStatus status{};
    Converted(cutShort, status);
    EXPECT_EQ(status, HexStatus::ReadFailed);
}

// A data record of no bytes names an address but sets nothing, wherever it points.
TEST(StreamedHex, EmptyDataRecordsSetNothing) {
    for (const char* record : {":00FFFF0002\n", ":0000000000\n", ":00100000F0\n"}) {
        const firmware::HexConversion result = firmware::ConvertHexToImage(std::string(record) + ":00000001FF\n");
        ASSERT_EQ(result.status, HexStatus::Ok) << record;
        EXPECT_EQ(result.image, std::vector<std::uint8_t>(256, 0xFF)) << record;
    }
}

TEST(StreamedDescription, OnlyTheTwoLinesAreRead) {
    for (std::size_t step : {1u, 3u, 4096u}) {
        ScriptedSource source("2.32\r\nGX.hex\r\n", step, true);
        firmware::FirmwareDescription d{};
        ASSERT_EQ(firmware::ReadFirmwareDescription(source, d), firmware::DescriptionStatus::Ok) << step;
        EXPECT_EQ(d.version, "2.32");
        EXPECT_EQ(d.fileName, "GX.hex");
        EXPECT_EQ(source.ReadsPastText(), 0) << step;
    }
}

struct DescriptionRead {
    const char* name;
    std::string text;
    bool failAfterText;
    firmware::DescriptionStatus status;
    std::size_t versionLength;
    std::string fileName;  // what line 2 gives
    bool fileNameTooLong;
};

class DescriptionReads : public testing::TestWithParam<DescriptionRead> {};

TEST_P(DescriptionReads, EndAsExpected) {
    const DescriptionRead& c = GetParam();
    ScriptedSource source(c.text, 1000, c.failAfterText);
    firmware::FirmwareDescription d{};
    EXPECT_EQ(firmware::ReadFirmwareDescription(source, d), c.status);
    if (c.status != firmware::DescriptionStatus::Ok) {
        EXPECT_FALSE(d.hasVersion);
        EXPECT_TRUE(d.version.empty() && d.fileName.empty());
        return;
    }
    EXPECT_EQ(d.version.size(), c.versionLength);
    EXPECT_EQ(d.fileName, c.fileName);
    EXPECT_EQ(d.fileNameTooLong, c.fileNameTooLong);
}

const std::size_t kLongest = firmware::kLongestDescriptionLine;
const DescriptionRead kDescriptionReads[] = {
    {"LongestLineTaken", std::string(kLongest, 'v') + "\n" + std::string(kLongest, 'n') + "\n", false,
     firmware::DescriptionStatus::Ok, kLongest, std::string(kLongest, 'n'), false},
    // A longer line 1 is the version cut at the longest; line 2 is still the next line of the file.
    {"LongerVersionLineCut", std::string(kLongest + 1, 'v') + "\nGX.hex\n", false, firmware::DescriptionStatus::Ok,
     kLongest, "GX.hex", false},
    {"MuchLongerVersionLineCut", std::string(3 * kLongest, 'v') + "\r\nGX.hex\r\n", false,
     firmware::DescriptionStatus::Ok, kLongest, "GX.hex", false},
    // A longer line 2 names nothing that can be opened.
    {"LongerNameLineMarked", "2.32\n" + std::string(kLongest + 1, 'n'), false, firmware::DescriptionStatus::Ok, 4,
     std::string(kLongest, 'n'), true},
    {"ReadErrorInLineTwo", "2.32\nGX.h", true, firmware::DescriptionStatus::ReadFailed, 0, "", false},
    {"ReadErrorInTheRestOfALongLine", std::string(kLongest + 100, 'v'), true, firmware::DescriptionStatus::ReadFailed,
     0, "", false},
    {"ReadErrorAtTheStart", "", true, firmware::DescriptionStatus::ReadFailed, 0, "", false},
    // A third line of any length is never looked at.
    {"HugeThirdLineUnread", "2.32\nGX.hex\n" + std::string(3 * kLongest, 'x'), true, firmware::DescriptionStatus::Ok,
     4, "GX.hex", false},
};
INSTANTIATE_TEST_SUITE_P(Cases, DescriptionReads, testing::ValuesIn(kDescriptionReads),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

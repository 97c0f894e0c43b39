#include "firmware/FirmwareDescription.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct DescriptionCase {
    const char* name;
    std::string text;
    bool hasVersion;
    bool hasFileName;
    std::string version;
    std::string fileName;
};

void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }

class DescriptionTest : public testing::TestWithParam<DescriptionCase> {};

TEST_P(DescriptionTest, TakesLinesOneAndTwoVerbatim) {
    const DescriptionCase& c = GetParam();
    const firmware::FirmwareDescription d = firmware::ParseFirmwareDescription(c.text);
    EXPECT_EQ(d.hasVersion, c.hasVersion);
    EXPECT_EQ(d.hasFileName, c.hasFileName);
    EXPECT_EQ(d.version, c.version);
    EXPECT_EQ(d.fileName, c.fileName);
}

const std::string kLongName = std::string(5000, 'n') + ".hex";

const DescriptionCase kCases[] = {
    {"LfLineEnds", "2.32\nGX_REM2.hex\n", true, true, "2.32", "GX_REM2.hex"},
    {"CrLfLineEndsLikeLf", "2.32\r\nGX_REM2.hex\r\n", true, true, "2.32", "GX_REM2.hex"},
    {"MixedLineEnds", "2.32\r\nGX_REM2.hex\n", true, true, "2.32", "GX_REM2.hex"},
    {"BlanksKept", "  2.32 \n GX REM2.hex  \n", true, true, "  2.32 ", " GX REM2.hex  "},
    {"TabsKept", "\t2.32\nGX.hex\t\n", true, true, "\t2.32", "GX.hex\t"},
    {"EmptyLineTwo", "2.32\n\n", true, true, "2.32", ""},
    {"EmptyLineTwoWithCrLf", "2.32\r\n\r\n", true, true, "2.32", ""},
    {"EmptyLineOne", "\nGX.hex\n", true, true, "", "GX.hex"},
    {"OnlyOneLine", "2.32\n", true, false, "2.32", ""},
    {"OnlyOneLineWithoutLineEnd", "2.32", true, false, "2.32", ""},
    {"EmptyFile", "", false, false, "", ""},
    {"LastLineWithoutLineEnd", "2.32\nGX_REM2.hex", true, true, "2.32", "GX_REM2.hex"},
    {"ExtraLinesIgnored", "2.32\nGX.hex\nthird\r\nfourth", true, true, "2.32", "GX.hex"},
    {"LoneCrKept", "2.\r32\nGX.hex\r", true, true, "2.\r32", "GX.hex\r"},
    {"OnlyTheCrBeforeLfDropped", "2.32\r\r\nGX.hex\n", true, true, "2.32\r", "GX.hex"},
    {"LongLineKeptWhole", "2.32\n" + kLongName + "\nthird\n", true, true, "2.32", kLongName},
    {"NulKept",
     "2.\0"
     "32\nGX.hex\n"s,
     true, true,
     "2.\0"
     "32"s,
     "GX.hex"},
};
INSTANTIATE_TEST_SUITE_P(Lines, DescriptionTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// Paths that by the platform's plain-path rules name something other than the file they spell.
#include "firmware/FilePathRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using firmware::PathKind;

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes; 0x5C (backslash) can be a trail byte there.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct PathCase {
    const char* name;
    const char* path;
    PathKind kind;
    framework::LeadByteTest leadByte = NoLeadBytes;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class PathRules : public testing::TestWithParam<PathCase> {};

TEST_P(PathRules, Classify) {
    const PathCase& c = GetParam();
    EXPECT_EQ(firmware::ClassifyPath(c.path, c.leadByte), c.kind) << c.path;
}

const PathCase kCases[] = {
    {"PlainFile", "C:\\Tools\\gx.hex", PathKind::Plain},
    {"RelativeFile", "gx.hex", PathKind::Plain},
    {"ParentAndCurrentFolders", "C:\\Tools\\..\\fw\\.\\gx.hex", PathKind::Plain},
    {"FolderItself", "C:\\Tools\\", PathKind::Plain},
    {"ForwardSlashes", "C:/Tools/gx.hex", PathKind::Plain},
    {"NameStartingLikeADevice", "C:\\Tools\\CONSOLE.hex", PathKind::Plain},
    {"ComAboveNine", "C:\\Tools\\COM10", PathKind::Plain},
    {"DeviceNameAsFolder", "C:\\NUL\\gx.hex", PathKind::Plain},
    {"InnerBlankKept", "C:\\Tools\\gx 1.hex", PathKind::Plain},
    {"SerialPort", "C:\\Tools\\COM5", PathKind::Device},
    {"SerialPortLowerCase", "C:\\Tools\\com3", PathKind::Device},
    {"SerialPortAlone", "COM3", PathKind::Device},
    {"Null", "C:\\Tools\\NUL", PathKind::Device},
    {"Console", "C:\\Tools\\CON", PathKind::Device},
    {"ConsoleInput", "C:\\Tools\\CONIN$", PathKind::Device},
    {"Auxiliary", "C:\\Tools\\AUX", PathKind::Device},
    {"Printer", "C:\\Tools\\LPT1", PathKind::Device},
    {"PrinterZero", "C:\\Tools\\lpt0", PathKind::Device},
    {"DeviceWithExtension", "C:\\Tools\\COM5.hex", PathKind::Device},
    {"DeviceWithTwoExtensions", "C:\\Tools\\nul.tar.gz", PathKind::Device},
    {"DeviceWithBlankBeforeExtension", "C:\\Tools\\AUX .txt", PathKind::Device},
    {"DeviceWithColon", "C:\\Tools\\CON:", PathKind::Device},
    {"DeviceAfterSlash", "C:/Tools/prn", PathKind::Device},
    {"SuperscriptDigit", "C:\\Tools\\COM\xB9", PathKind::Device},
    {"TrailingBlank", "C:\\Tools\\gx.hex ", PathKind::Altered},
    {"TrailingBlanks", "C:\\Tools\\gx.hex   ", PathKind::Altered},
    {"TrailingDot", "C:\\Tools\\gx.hex.", PathKind::Altered},
    {"TrailingDotOnFolder", "C:\\Tools.\\gx.hex", PathKind::Altered},
    {"TrailingBlankOnFolder", "C:\\Tools \\gx.hex", PathKind::Altered},
    {"ThreeDots", "C:\\Tools\\...", PathKind::Altered},
    {"DeviceWithTrailingBlank", "C:\\Tools\\NUL ", PathKind::Altered},
    // A double-byte name whose trail byte is 0x5C: no separator, so "COM5" is no component of its own.
    {"TrailByteBackslashIsNoSeparator", "C:\\Tools\\\x95\\COM5", PathKind::Plain, ShiftJisLead},
    {"SameBytesSingleByteCodePage", "C:\\Tools\\\x95\\COM5", PathKind::Device},
};
INSTANTIATE_TEST_SUITE_P(Cases, PathRules, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

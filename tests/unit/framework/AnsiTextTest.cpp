// Searches in ANSI text that step over double-byte characters, with the code page's lead-byte test
// injected: a trail byte equal to the wanted character is never found.
#include "framework/AnsiText.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using framework::kAnsiNotFound;

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes; 0x5C (backslash), 0x2E is never a trail byte, but 'w' (0x77) and
// 'm' (0x6D) are.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct BaseNameCase {
    const char* name;
    std::string path;
    framework::LeadByteTest leadByte;
    std::string baseName;
};

void PrintTo(const BaseNameCase& c, std::ostream* os) { *os << c.name; }

class ModuleBaseName : public testing::TestWithParam<BaseNameCase> {};

TEST_P(ModuleBaseName, IsTheFileNameWithoutItsExtension) {
    const BaseNameCase& c = GetParam();
    EXPECT_EQ(framework::ModuleBaseName(c.path, c.leadByte), c.baseName);
}

const std::string kDeepFolder = [] {
    std::string path = "C:";
    while (path.size() < 300) path += "\\folder-of-a-long-name";
    return path;
}();

const BaseNameCase kBaseNames[] = {
    {"Plain", "C:\\Tools\\TLYN_Update.exe", NoLeadBytes, "TLYN_Update"},
    {"NoFolder", "TLYN_Update.exe", NoLeadBytes, "TLYN_Update"},
    {"NoExtension", "C:\\Tools\\TLYN_Update", NoLeadBytes, "TLYN_Update"},
    {"DotInFolderOnly", "C:\\v2.0\\TLYN_Update", NoLeadBytes, "TLYN_Update"},
    {"TwoDots", "C:\\Tools\\upd.v2.exe", NoLeadBytes, "upd.v2"},
    {"ForwardSlash", "C:/Tools/upd.exe", NoLeadBytes, "upd"},
    {"LongerThanMaxPath", kDeepFolder + "\\TLYN_Update.exe", NoLeadBytes, "TLYN_Update"},
    // A name whose double-byte character ends in 0x5C: that byte is no separator.
    {"TrailByteBackslash",
     "C:\\Tools\\\x95\x5C"
     "upd.exe",
     ShiftJisLead,
     "\x95\x5C"
     "upd"},
    {"TrailByteBackslashLast", "C:\\Tools\\upd\x95\x5C.exe", ShiftJisLead, "upd\x95\x5C"},
    {"LeadByteAtTheEnd", "C:\\Tools\\upd\x95", ShiftJisLead, "upd\x95"},
};
INSTANTIATE_TEST_SUITE_P(Cases, ModuleBaseName, testing::ValuesIn(kBaseNames),
                         [](const auto& info) { return std::string(info.param.name); });

struct FindCase {
    const char* name;
    std::string text;
    std::string needle;
    framework::LeadByteTest leadByte;
    std::size_t found;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindAnsiText : public testing::TestWithParam<FindCase> {};

TEST_P(FindAnsiText, FindsOnlyAtCharacterBoundaries) {
    const FindCase& c = GetParam();
    EXPECT_EQ(framework::FindAnsiText(c.text, c.needle, c.leadByte), c.found);
}

const FindCase kFinds[] = {
    {"AtStart", "www.example", "www.", NoLeadBytes, 0},
    {"Inside", "see www.example", "www.", NoLeadBytes, 4},
    {"Absent", "example.com", "www.", NoLeadBytes, kAnsiNotFound},
    {"CutAtTheEnd", "ww", "www.", NoLeadBytes, kAnsiNotFound},
    // 0x81 'w' is one character: the "www." that seems to start at its trail byte is not there.
    {"TrailByteStartsNoMatch", "\x81www.x", "www.", ShiftJisLead, kAnsiNotFound},
    {"SameBytesSingleByteCodePage", "\x81www.x", "www.", NoLeadBytes, 1},
    {"AfterADoubleByteCharacter", "\x81\x40www.x", "www.", ShiftJisLead, 2},
    {"MailtoAfterTrailM", "\x95mailto:a@b", "mailto:", ShiftJisLead, kAnsiNotFound},
    {"MailtoAfterWholeCharacter", "\x95\x40mailto:a@b", "mailto:", ShiftJisLead, 2},
};
INSTANTIATE_TEST_SUITE_P(Cases, FindAnsiText, testing::ValuesIn(kFinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FindAnsiChar, FirstAndLastStepOverTrailBytes) {
    const std::string text = "a\\b\x95\\c\\d\x95\\";
    EXPECT_EQ(framework::FindAnsiChar(text, '\\', ShiftJisLead), 1u);
    EXPECT_EQ(framework::FindLastAnsiChar(text, '\\', ShiftJisLead), 6u);
    EXPECT_EQ(framework::FindLastAnsiChar(text, '\\', NoLeadBytes), 9u);
    EXPECT_EQ(framework::FindAnsiChar("\x95\\", '\\', ShiftJisLead), kAnsiNotFound);
}

struct CaseFold {
    const char* name;
    std::string a;
    std::string b;
    bool equal;
};
void PrintTo(const CaseFold& c, std::ostream* os) { *os << c.name; }

class IgnoringAsciiCase : public testing::TestWithParam<CaseFold> {};

TEST_P(IgnoringAsciiCase, FoldsAsciiLettersAndNothingElse) {
    const CaseFold& c = GetParam();
    EXPECT_EQ(framework::EqualsIgnoringAsciiCase(c.a, c.b), c.equal);
    EXPECT_EQ(framework::StartsWithIgnoringAsciiCase(c.a + "tail", c.b), c.equal);
}

const CaseFold kFolds[] = {
    {"LettersOfEitherCase", "com5", "COM5", true},
    {"DigitsAndSignsAsThemselves", "a[1]", "A{1}", false},
    // 0xE9 and 0xC9 are one letter in two cases in some code pages, and a trail byte in others.
    {"BytesAboveAsciiAsThemselves", "\xE9", "\xC9", false},
    {"ByteThirtyTwoAboveALetter", "\xC1", "\xE1", false},
    {"OtherLengths", "COM", "COM5", false},
};
INSTANTIATE_TEST_SUITE_P(Cases, IgnoringAsciiCase, testing::ValuesIn(kFolds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

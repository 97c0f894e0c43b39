// Where the program lives, from the command line Windows hands it.
#include <gtest/gtest.h>

#include "app/ProgramPath.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes; 0x5C (backslash) and 0x20 (blank) can be trail bytes there.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct PathCase {
    const char* name;
    const char* commandLine;
    app::LeadByteTest leadByte;
    const char* programPath;
    const char* programDir;
};

class ProgramPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ProgramPath, FromCommandLine) {
    const PathCase& c = GetParam();
    std::string path = app::ProgramPathFromCommandLine(c.commandLine, c.leadByte);
    EXPECT_EQ(path, c.programPath);
    EXPECT_EQ(app::ProgramDirectory(path, c.leadByte), c.programDir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramPath,
    ::testing::Values(
        PathCase{"QuotedWithArguments", "\"C:\\Program Files\\Tool\\upd.exe\" /x", NoLeadBytes,
                 "C:\\Program Files\\Tool\\upd.exe", "C:\\Program Files\\Tool\\"},
        PathCase{"UnquotedWithArguments", "C:\\Tools\\upd.exe /x", NoLeadBytes, "C:\\Tools\\upd.exe", "C:\\Tools\\"},
        PathCase{"UnquotedAlone", "C:\\Tools\\upd.exe", NoLeadBytes, "C:\\Tools\\upd.exe", "C:\\Tools\\"},
        PathCase{"UnquotedCutAtFirstBlank", "C:\\Program Files\\Tool\\upd.exe", NoLeadBytes, "C:\\Program", "C:\\"},
        PathCase{"MissingClosingQuote", "\"C:\\Tool\\upd.exe /x", NoLeadBytes, "", ""},
        PathCase{"BlanksAfterOpeningQuote", "\"  C:\\Tool\\upd.exe\"", NoLeadBytes, "C:\\Tool\\upd.exe", "C:\\Tool\\"},
        PathCase{"TabAfterOpeningQuote", "\"\tC:\\Tool\\upd.exe\" -q", NoLeadBytes, "C:\\Tool\\upd.exe", "C:\\Tool\\"},
        PathCase{"NoBackslash", "upd.exe /x", NoLeadBytes, "upd.exe", ""},
        PathCase{"EmptyCommandLine", "", NoLeadBytes, "", ""},
        PathCase{"QuotedRootFolder", "\"C:\\upd.exe\"", NoLeadBytes, "C:\\upd.exe", "C:\\"},
        // A double-byte name whose trail byte is 0x5C: that byte is no folder separator.
        PathCase{"TrailByteBackslashIsNoSeparator", "C:\\Tools\\\x95\x5C.exe", ShiftJisLead, "C:\\Tools\\\x95\x5C.exe",
                 "C:\\Tools\\"},
        // ... nor is a trail byte 0x20 a blank, nor 0x22 a quote.
        PathCase{"TrailByteBlankIsNoBlank", "C:\\T\x81\x20\\upd.exe /x", ShiftJisLead, "C:\\T\x81\x20\\upd.exe",
                 "C:\\T\x81\x20\\"},
        PathCase{"TrailByteQuoteIsNoQuote", "\"C:\\\x81\x22\\upd.exe\" /x", ShiftJisLead, "C:\\\x81\x22\\upd.exe",
                 "C:\\\x81\x22\\"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

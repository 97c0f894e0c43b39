// Where the program lives, worked out from its command line. The searches step over the double-byte
// characters of the ANSI code page, so a trail byte that happens to equal a quote, a blank or a
// backslash is never taken for one; the caller passes the code page's lead-byte test.
#pragma once

#include <string>
#include <string_view>

#include "framework/AnsiText.h"

namespace app {

using framework::LeadByteTest;

// The program path: the quoted first token (leading white space inside the quote removed; empty when
// the closing quote is missing), or the text before the first blank.
std::string ProgramPathFromCommandLine(std::string_view commandLine, LeadByteTest isLeadByte);

// The path up to and including its last backslash; empty when it has none.
std::string ProgramDirectory(std::string_view programPath, LeadByteTest isLeadByte);

}  // namespace app

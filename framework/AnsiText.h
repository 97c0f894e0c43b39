// Searches in 8-bit ANSI text that step over the double-byte characters of the code page: a trail
// byte that happens to equal a backslash, a blank or a letter is never taken for one. The caller
// passes the code page's lead-byte test, so the rules stay portable and testable with any code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace framework {

using LeadByteTest = bool (*)(unsigned char);

inline constexpr std::size_t kAnsiNotFound = std::string_view::npos;

// The first or the last position, at a character boundary, of an ASCII character.
std::size_t FindAnsiChar(std::string_view text, char wanted, LeadByteTest isLeadByte);
std::size_t FindLastAnsiChar(std::string_view text, char wanted, LeadByteTest isLeadByte);

// The first position, at a character boundary, where the text holds the ASCII needle.
std::size_t FindAnsiText(std::string_view text, std::string_view needle, LeadByteTest isLeadByte);

// Equal, or the text opens with the prefix, when ASCII letters are folded to one case and nothing
// else is: a byte above 0x7F, a trail byte among them, never compares equal to a letter.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// A module path's file name without its extension: the settings key is named after it.
std::string ModuleBaseName(std::string_view modulePath, LeadByteTest isLeadByte);

}  // namespace framework

// The system's ANSI code page as the double-byte-aware rules ask for it: is this byte the first
// of a two-byte character?
#pragma once

#include <windows.h>

namespace framework {

inline bool IsAnsiLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

}  // namespace framework

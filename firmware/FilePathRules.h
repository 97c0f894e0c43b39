// Which paths can name a file on disk by the platform's plain-path rules. A plain path is not taken
// literally: a last component that is a device name (NUL, CON, COM5, also "nul.txt") opens the
// device wherever the path points, and trailing blanks and dots are stripped from a name, so
// "gx.hex " would open "gx.hex". The program opens only what it was told to open, so such paths are
// refused before any open; what an open then yields is checked on its handle.
#pragma once

#include <string_view>

#include "framework/AnsiText.h"

namespace firmware {

enum class PathKind {
    Plain,    // may name a file: open it and check what it is
    Device,   // the last component is a device name
    Altered,  // a component ends in a blank or a dot, which the platform would strip
};

PathKind ClassifyPath(std::string_view path, framework::LeadByteTest isLeadByte);

}  // namespace firmware

// Libraries come from the system only. The program is unpacked into folders like Downloads, where
// anything may lie beside it, and may be started from any current directory: neither is searched.
#pragma once

#include <windows.h>

namespace framework {

// Takes the current directory out of the library search, and the program's own folder too where
// the system offers that (Windows 8, or Windows 7 with its update); elsewhere the rest stays as it is.
void RestrictLibrarySearch();

// Loads the rich edit 2.0 library, which the About box's contact block needs, from the system
// directory by its full path. It stays loaded for the life of the process.
HMODULE AfxInitRichEdit2();

}  // namespace framework

// Work the probe does inside the program's process: under Wine a message that carries a pointer
// and the menus of a window can only be served from there.
#pragma once

#include <windows.h>

#include <string>

// The client position of a character of another process's rich edit control (EM_POSFROMCHAR, whose
// POINTL must lie in that process).
bool RemoteCharPosition(HWND control, LONG charIndex, POINT& at);

// Loads the menu-state reader into the window's process and returns what it wrote for the window:
// "close=<state>,about=<state>" (GetMenuState values in hex), or an "err ..." text.
std::string RemoteSystemMenuState(HWND window, const std::string& readerPath, DWORD timeoutMs);

// Where the reader writes its report; the same in every process of one prefix and user.
std::string MenuStateReportPath();

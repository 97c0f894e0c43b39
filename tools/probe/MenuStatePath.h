// The report file of the menu-state reader, shared by the reader and the probe.
#pragma once

#include <windows.h>

#include <string>

inline std::string MenuStateFile(const char* name) {
    char dir[MAX_PATH] = {};
    DWORD length = ::GetTempPathA(MAX_PATH, dir);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(dir) + name;
}

inline constexpr char kMenuStateReport[] = "tlyn_menu_state.txt";
inline constexpr char kMenuStatePartial[] = "tlyn_menu_state.part";

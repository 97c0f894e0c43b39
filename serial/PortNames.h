// Portable rules of port discovery and of the companion hand-over: which registry data names an
// installed port, which port button to check, which window titles belong to the companion program.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 22;

// One flag per port the dialog offers: entry n - 1 belongs to COMn, 1 when installed.
using PortFlags = std::array<int, kLastPort>;

// The text of a registry value's data as the platform returned it: `size` bytes at most, up to the
// first NUL when there is one. The data needn't be NUL-terminated, so nothing past `size` is read.
std::string_view RegistryDataText(const char* data, std::size_t size);

// 1..22 when the data names COM1..COM22 exactly as "COM%d" formats it, ignoring case; otherwise 0
// (a higher port, a device path, a blank after the name, a leading zero).
int PortNumberFromName(std::string_view data);

// The port whose button a refresh checks: the stored port when it is 1..22 and installed, else the
// lowest installed port, else 0 when none is installed.
int ChooseCheckedPort(int stored, const PortFlags& present);

// True when a window title begins with one of the companion program's title prefixes, compared
// without case over exactly the prefix's length. Empty titles never match.
bool IsCompanionTitle(std::string_view title);

// The update window as the tests find it: its caption, the caption of its own message boxes, and
// its controls' identifiers. The texts tests expect stay literals in the suites.
#pragma once

namespace e2e {

inline constexpr char kCaption[] = "Gathrix RS-232 Remote Firmware Update";
inline constexpr char kMessageCaption[] = "Gathrix RS-232 Remote Update";

inline constexpr int kDone = 2;  // IDCANCEL
inline constexpr int kBootLoaderLine = 1007;
inline constexpr int kBeginUpdate = 1006;
inline constexpr int kFirmwareFileLine = 1008;
inline constexpr int kFirmwareVersionLine = 1009;
inline constexpr int kProgressLine = 1010;
inline constexpr int kResultLine = 1011;
inline constexpr int kRefresh = 1012;
inline constexpr int kContactInfo = 1016;
inline constexpr int kProductLine = 1017;
inline constexpr int kContactGroup = 1020;
inline constexpr int kDetailedInstructions = 1022;
inline constexpr int kInstructions = 1100;

// COM1 to COM22 are the buttons 2001 to 2022.
constexpr int PortButton(int port) { return 2000 + port; }

}  // namespace e2e

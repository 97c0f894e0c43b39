// The hand-over of a COM port with the maker's serial test program: one window message, posted to
// every visible top-level window whose title marks it as that program's.
#pragma once

// WM_APP + 0x65; wParam says what to do with the port whose number is in lParam.
inline constexpr unsigned kPortHandoverMessage = 0x8065;
inline constexpr unsigned kPortRelease = 1001;  // let go of the port
inline constexpr unsigned kPortReclaim = 1002;  // take the port back

// Posts the hand-over message with these parameters to every companion window, top of the Z order
// first, and returns how many windows were told.
int TellCompanionWindows(unsigned wParam, long lParam);

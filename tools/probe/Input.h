// Mouse and keyboard as a hand gives them: hardware input through SendInput, which the platform
// queues for the window under the cursor or in the foreground.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class HandInput {
public:
    // Moves to the screen point, settles, presses and releases the left button. A click follows
    // the previous one only after more than the double-click time, so it never counts as a double.
    bool Click(POINT at);
    // Moves to the point and releases the left button there, with no press before it.
    bool ReleaseOnly(POINT at);
    // Brings the window to the foreground and strokes the keys as one chord: pressed in order,
    // released in reverse.
    std::string Chord(HWND window, const std::vector<WORD>& keys);

private:
    bool MoveTo(POINT at);
    DWORD lastClick_ = 0;
    bool clicked_ = false;
};

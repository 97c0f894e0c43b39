#include "tools/probe/Input.h"

namespace {

constexpr DWORD kSettleMs = 150;
constexpr DWORD kPressMs = 60;

bool SendOne(INPUT input) { return ::SendInput(1, &input, sizeof(INPUT)) == 1; }

INPUT Mouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    return input;
}

INPUT Key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Absolute mouse coordinates run from 0 to 65535 across the primary screen.
LONG Normalised(LONG pixel, int extent) {
    return extent > 1 ? static_cast<LONG>((static_cast<long long>(pixel) * 65535 + (extent - 1) / 2) / (extent - 1))
                      : 0;
}

}  // namespace

// Every event of a click carries the absolute position: under Wine's virtual desktop a bare press
// was seen arriving at the place of the previous click.
INPUT AbsoluteMouse(DWORD flags, POINT at) {
    return Mouse(flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, Normalised(at.x, ::GetSystemMetrics(SM_CXSCREEN)),
                 Normalised(at.y, ::GetSystemMetrics(SM_CYSCREEN)));
}

bool HandInput::MoveTo(POINT at) {
    if (!SendOne(AbsoluteMouse(0, at))) return false;
    ::Sleep(kSettleMs);
    POINT now{};
    return ::GetCursorPos(&now) && now.x == at.x && now.y == at.y;
}

bool HandInput::Click(POINT at) {
    DWORD gap = ::GetDoubleClickTime() + 100;
    if (clicked_) {
        DWORD since = ::GetTickCount() - lastClick_;
        if (since < gap) ::Sleep(gap - since);
    }
    if (!MoveTo(at)) return false;
    bool sent = SendOne(AbsoluteMouse(MOUSEEVENTF_LEFTDOWN, at));
    ::Sleep(kPressMs);
    sent = SendOne(AbsoluteMouse(MOUSEEVENTF_LEFTUP, at)) && sent;
    lastClick_ = ::GetTickCount();
    clicked_ = true;
    return sent;
}

bool HandInput::ReleaseOnly(POINT at) {
    if (!MoveTo(at)) return false;
    return SendOne(AbsoluteMouse(MOUSEEVENTF_LEFTUP, at));
}

std::string HandInput::Chord(HWND window, const std::vector<WORD>& keys) {
    ::SetForegroundWindow(window);
    DWORD start = ::GetTickCount();
    while (::GetForegroundWindow() != window) {
        if (::GetTickCount() - start > 3000) return "err not in the foreground";
        ::Sleep(20);
    }
    for (WORD vk : keys) {
        if (!SendOne(Key(vk, false))) return "err input refused";
        ::Sleep(30);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        if (!SendOne(Key(*it, true))) return "err input refused";
        ::Sleep(30);
    }
    return "ok";
}

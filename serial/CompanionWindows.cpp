#include "serial/CompanionWindows.h"

#include <windows.h>

#include <string_view>

#include "serial/PortNames.h"

namespace {

constexpr int kTitleBufferSize = 100;

bool IsCompanionWindow(HWND window) {
    if (!IsWindowVisible(window)) return false;
    char title[kTitleBufferSize] = {};
    const int length = GetWindowTextA(window, title, kTitleBufferSize);
    if (length <= 0) return false;
    const int kept = length < kTitleBufferSize ? length : kTitleBufferSize - 1;
    return IsCompanionTitle(std::string_view(title, static_cast<std::size_t>(kept)));
}

}  // namespace

int TellCompanionWindows(unsigned wParam, long lParam) {
    int told = 0;
    for (HWND window = GetTopWindow(nullptr); IsWindow(window); window = GetWindow(window, GW_HWNDNEXT)) {
        if (!IsCompanionWindow(window)) continue;
        // Posted, never sent: the companion may be busy, and this program must not wait on it.
        PostMessageA(window, kPortHandoverMessage, wParam, lParam);
        ++told;
    }
    return told;
}

#include "ui/WindowPlacement.h"

void PlaceInUpperQuarter(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 4;
    ::MoveWindow(window, x, y, width, height, TRUE);
}

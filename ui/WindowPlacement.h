// Where both dialogs put themselves: centred across the screen and a quarter of the free height from
// its top. A window larger than the screen gets a negative coordinate (truncation toward zero).
#pragma once

#include <windows.h>

void PlaceInUpperQuarter(HWND window);

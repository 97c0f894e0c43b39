// The composed line settings as the platform's settings record.
#pragma once

#include <windows.h>

#include "serial/LineSettings.h"

// A zeroed DCB with its own length and every setting filled in; the flags not named stay off.
DCB ToDcb(const LineSettings& settings);

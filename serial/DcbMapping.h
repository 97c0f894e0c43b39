// The composed line settings as the platform's settings record.
#pragma once

#include <windows.h>

#include "serial/LineSettings.h"

// A zeroed DCB with every field and flag bit of the settings copied across.
DCB ToDcb(const LineSettings& settings);

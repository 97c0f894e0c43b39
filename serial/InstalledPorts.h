// The machine's list of installed serial ports, as the registry keeps it.
#pragma once

#include "serial/PortNames.h"

// Clears `present` and sets the flag of every COM1..COM22 that the installed-port list names.
// False when the list can't be opened (every flag stays 0).
bool ReadInstalledPorts(PortFlags& present);

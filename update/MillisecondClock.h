// A millisecond tick counter that moves every millisecond, for the protocol's pauses and windows:
// the system tick count moves in steps of about 16 ms, too coarse for a 10 ms pause.
#pragma once

#include <cstdint>

namespace update {

// Milliseconds since an arbitrary start, wrapping modulo 2^32 like the system tick count.
std::uint32_t MillisecondCount();

// Returns at once for 0; otherwise spins until at least ms have passed. No messages are processed.
void BusyDelay(std::uint32_t ms);

}  // namespace update

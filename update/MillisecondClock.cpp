#include "update/MillisecondClock.h"

#include <windows.h>

namespace update {

namespace {

std::uint64_t PerformanceFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

std::uint64_t PerformanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart);
}

}  // namespace

std::uint32_t MillisecondCount() {
    const std::uint64_t perSecond = PerformanceFrequency();
    const std::uint64_t ticks = PerformanceCounter();
    // Split so that the multiplication cannot overflow however long the machine has run.
    const std::uint64_t ms = ticks / perSecond * 1000u + ticks % perSecond * 1000u / perSecond;
    return static_cast<std::uint32_t>(ms);
}

void BusyDelay(std::uint32_t ms) {
    if (ms == 0) return;
    // Counted on the performance counter itself: whole milliseconds of the tick count could end
    // the pause up to a millisecond short.
    const std::uint64_t perSecond = PerformanceFrequency();
    const std::uint64_t span = (static_cast<std::uint64_t>(ms) * perSecond + 999u) / 1000u;
    const std::uint64_t start = PerformanceCounter();
    while (PerformanceCounter() - start < span) {}
}

}  // namespace update

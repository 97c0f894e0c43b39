#include "tools/bootsim/Cable.h"

#include <algorithm>

namespace bootsim {

std::chrono::steady_clock::duration ByteTime(unsigned baud) {
    if (baud == 0) return std::chrono::steady_clock::duration::zero();
    constexpr long long kBitsPerByte = 10;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::nanoseconds(kBitsPerByte * 1'000'000'000LL / baud));
}

Cable::Clock::time_point Cable::Carry(Clock::time_point sentAt, std::size_t count, Clock::duration byteTime) {
    const Clock::time_point first = std::max(sentAt, free_) + byteTime;
    if (count > 0) free_ = first + byteTime * static_cast<Clock::rep>(count - 1);
    return first;
}

}  // namespace bootsim

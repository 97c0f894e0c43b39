// The millisecond clock under Wine, against the system's precise wall clock as an independent
// measure (a different source from the performance counter the clock is built on).
#include "update/MillisecondClock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "update/FailureMessage.h"

namespace {

// Microseconds of the system's wall clock.
std::int64_t WallMicroseconds() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return static_cast<std::int64_t>(value.QuadPart / 10);
}

// The system tick count moves in steps of about 16 ms here; this one must move every millisecond
// or so, and at the right rate. A step is judged only when both of its reads lie within half a
// millisecond of wall time (the wall clock read before the first and after the second): a longer
// step there is the clock's, not a moment the test lost to another process.
TEST(MillisecondCount, MovesInStepsOfAtMostTwoMillisecondsAtTheRightRate) {
    std::size_t judged = 0, large = 0;
    std::uint32_t largest = 0;
    const std::int64_t wallStart = WallMicroseconds();
    const std::uint32_t first = update::MillisecondCount();
    std::uint32_t last = first;
    std::int64_t lastReadFrom = wallStart;
    std::int64_t wallNow = wallStart;
    // Long enough for a few hundred steps even when other processes take most of the cores.
    while (judged < 300 && wallNow - wallStart < 2000000) {
        const std::int64_t readFrom = WallMicroseconds();
        const std::uint32_t now = update::MillisecondCount();
        wallNow = WallMicroseconds();
        if (now != last && wallNow - lastReadFrom <= 500) {
            ++judged;
            if (now - last > 2) ++large;
            largest = std::max(largest, now - last);
        }
        last = now;
        lastReadFrom = readFrom;
    }
    const std::int64_t wallMs = (wallNow - wallStart) / 1000;

    EXPECT_LE(large * 100, judged) << large << " of " << judged << " steps longer than 2 ms, the longest " << largest
                                   << " ms";
    EXPECT_GE(judged, 100u) << "too few steps to judge in 2 s: a coarse clock, or a loop descheduled throughout";
    EXPECT_NEAR(static_cast<double>(static_cast<std::uint32_t>(last - first)), static_cast<double>(wallMs), 5.0);
}

TEST(BusyDelay, TwentyMillisecondsLastTwentyToThirty) {
    std::int64_t shortest = INT64_MAX;
    for (int i = 0; i < 5; ++i) {
        const std::int64_t start = WallMicroseconds();
        update::BusyDelay(20);
        const std::int64_t took = WallMicroseconds() - start;
        EXPECT_GE(took, 20000) << "never short";
        shortest = std::min(shortest, took);
    }
    // A busy machine may stretch one pause; the best of five shows the pause itself.
    EXPECT_LE(shortest, 30000);
}

TEST(BusyDelay, ZeroReturnsAtOnce) {
    std::int64_t shortest = INT64_MAX;
    for (int i = 0; i < 5; ++i) {
        const std::int64_t start = WallMicroseconds();
        update::BusyDelay(0);
        shortest = std::min(shortest, WallMicroseconds() - start);
    }
    EXPECT_LT(shortest, 1000);
}

// The status formats go through this platform's printf family, whose measuring call differs from
// the native one in older runtimes.
TEST(StatusTexts, AreFormattedInFull) {
    EXPECT_EQ(update::ProgressText(256, 256), "Sending hex file page  256  of  256");
    EXPECT_EQ(update::BootLoaderLine("GX-REM2-2.32"), "Boot loader version  =  GX-REM2-2.32");
}

}  // namespace

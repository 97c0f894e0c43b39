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
// or so, and at the right rate. A step now and then may be longer when the test is descheduled.
TEST(MillisecondCount, MovesInStepsOfAtMostTwoMillisecondsAtTheRightRate) {
  std::vector<std::uint32_t> steps;
  const std::int64_t wallStart = WallMicroseconds();
  const std::uint32_t first = update::MillisecondCount();
  std::uint32_t last = first;
  while (WallMicroseconds() - wallStart < 300000) {
    const std::uint32_t now = update::MillisecondCount();
    if (now != last) steps.push_back(now - last);
    last = now;
  }
  const std::int64_t wallMs = (WallMicroseconds() - wallStart) / 1000;

  ASSERT_GE(steps.size(), 150u) << "a counter in 16 ms steps would move about 19 times";
  const auto small = std::count_if(steps.begin(), steps.end(), [](std::uint32_t s) { return s <= 2; });
  EXPECT_GE(small * 10, static_cast<std::ptrdiff_t>(steps.size()) * 9) << "steps of at most 2 ms";
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

// When bytes arrive at the far end of a serial cable: one after another, ten bits each.
#include "tools/bootsim/Cable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(ByteTime, TenBitsAtTheLinesSpeed) {
    EXPECT_EQ(bootsim::ByteTime(38400), std::chrono::nanoseconds(260416));
    EXPECT_EQ(bootsim::ByteTime(9600), std::chrono::nanoseconds(1041666));
    EXPECT_EQ(bootsim::ByteTime(0), Clock::duration::zero());
}

struct Write {
    std::chrono::microseconds at;  // since the start
    std::size_t count;
    std::chrono::microseconds firstArrives;
};
struct CableCase {
    const char* name;
    std::vector<Write> writes;
};
void PrintTo(const CableCase& c, std::ostream* os) { *os << c.name; }

class CableCarries : public testing::TestWithParam<CableCase> {};

// At 40000 baud, so that a byte takes 250 us.
TEST_P(CableCarries, EachByteAByteTimeAfterTheOneBefore) {
    bootsim::Cable cable;
    const Clock::time_point start = Clock::now();
    for (const Write& w : GetParam().writes) {
        EXPECT_EQ(cable.Carry(start + w.at, w.count, bootsim::ByteTime(40000)) - start, w.firstArrives)
            << "written at " << w.at.count() << " us";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableCarries,
    testing::Values(CableCase{"OnAnIdleLineAByteTimeLater", {{0us, 1, 250us}, {10000us, 1, 10250us}}},
                    CableCase{"BehindWhatIsStillOnTheWire", {{0us, 256, 250us}, {1000us, 1, 64250us}}},
                    CableCase{"AfterTheWireHasDrained", {{0us, 2, 250us}, {5000us, 1, 5250us}}},
                    CableCase{"OneByteAtATimeKeepsThePace", {{0us, 1, 250us}, {0us, 1, 500us}, {100us, 1, 750us}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// How a frame pause is judged over an update, from the gaps the device saw: the line's jitter
// moves single gaps and must never count against the program; a pause the program cuts short moves
// them all and must always be named.
#include "tools/bootsim/PauseJudge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Duration = std::chrono::steady_clock::duration;

Duration Ms(double ms) { return std::chrono::duration_cast<Duration>(std::chrono::duration<double, std::milli>(ms)); }

// `count` gaps of `ms`, then each pair of `late` shortens one gap and lengthens the next by as
// much, as a byte that reaches the reader late does.
std::vector<Duration> Gaps(unsigned count, double ms, std::vector<std::pair<unsigned, double>> late = {}) {
    std::vector<Duration> gaps(count, Ms(ms));
    for (const auto& [index, by] : late) {
        gaps[index] -= Ms(by);
        if (index + 1 < count) gaps[index + 1] += Ms(by);
    }
    return gaps;
}

// The simulator's three pauses.
const bootsim::PauseRule kAfterNumber{"data", "its page number", 20ms, 1ms};
const bootsim::PauseRule kAfterData{"checksum", "its data", 10ms, 1ms};
const bootsim::PauseRule kAfterChecksum{"the next frame", "the checksum before it", 20ms, 0ms, 25};

// After the checksum: `pause`, then the program's work on its next page, 1.3 ms to 3 ms and a
// 30 ms repaint on every fourth page, as seen from the program under Wine.
std::vector<Duration> Work(unsigned count, double pause) {
    std::vector<Duration> gaps;
    for (unsigned k = 0; k < count; ++k) gaps.push_back(Ms(pause + (k % 4 == 3 ? 30.0 : 1.3 + 0.1 * (k % 17))));
    return gaps;
}

struct JudgeCase {
    const char* name;
    bootsim::PauseRule rule;
    std::vector<Duration> gaps;
    std::chrono::milliseconds slack;
    const char* error;  // a pattern; empty when the pause was kept
};
void PrintTo(const JudgeCase& c, std::ostream* os) { *os << c.name; }

class PauseJudgement : public testing::TestWithParam<JudgeCase> {};

TEST_P(PauseJudgement, NamesOnlyWhatTheProgramDid) {
    const JudgeCase& c = GetParam();
    const std::string error = bootsim::JudgePause(c.rule, c.gaps, c.slack);
    if (std::string(c.error).empty()) {
        EXPECT_EQ(error, "");
    } else {
        EXPECT_TRUE(std::regex_match(error, std::regex(c.error))) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PauseJudgement,
    testing::Values(
        JudgeCase{"KeptOverAnUpdate", kAfterNumber, Gaps(24, 20.05), 4ms, ""},
        JudgeCase{"TwoMsShortOnEveryFrame", kAfterNumber, Gaps(24, 18.04), 4ms,
                  R"(data came a median of 18\.0 ms after its page number over 24 frames, less than 20\.0 ms)"},
        JudgeCase{"TwoMsShortOnEveryFrameOfTheShortPause", kAfterData, Gaps(24, 8.04), 4ms,
                  R"(checksum came a median of 8\.0 ms after its data over 24 frames, less than 10\.0 ms)"},
        // Within a millisecond: the reader's stamps of two writes in a row may be that far apart.
        JudgeCase{"MedianWithinAMillisecond", kAfterNumber, Gaps(24, 19.1), 4ms, ""},
        // The gap after the checksum holds more than the pause: the program's work on its next page, a
        // repaint on every fourth. Cut 2 ms short, the pause shows on the frames with the least work.
        JudgeCase{"AfterTheChecksumKeptWithWorkOnEveryPage", kAfterChecksum, Work(24, 20.0), 4ms, ""},
        JudgeCase{"AfterTheChecksumTwoMsShortWithWorkOnEveryPage", kAfterChecksum, Work(24, 18.0), 4ms,
                  R"(the next frame came a lower quartile of 19\.[0-9] ms after the checksum before it over 24 frames, less than 20\.0 ms)"},
        // A byte late by up to 3 ms on every fourth frame: one gap short, the next long.
        JudgeCase{"SingleLateBytesAreTheLine", kAfterNumber,
                  Gaps(24, 20.05, {{1, 3}, {5, 2}, {9, 3}, {13, 1}, {17, 3}, {21, 2}}), 4ms, ""},
        JudgeCase{"ShortPauseWithSingleLateBytes", kAfterData, Gaps(24, 10.02, {{0, 3}, {6, 3}, {12, 3}, {18, 3}}), 4ms,
                  ""},
        JudgeCase{"AfterTheChecksumWithSingleLateBytes", kAfterChecksum,
                  Gaps(24, 21.3, {{0, 3}, {4, 3}, {8, 2}, {12, 3}, {16, 1}, {20, 3}}), 4ms, ""},
        // Now and then a byte far later: a tenth of the gaps may be anything.
        JudgeCase{"ATenthFarShortIsTheLine", kAfterNumber, Gaps(24, 20.05, {{3, 12}, {15, 15}}), 4ms, ""},
        JudgeCase{"MoreThanATenthFarShort", kAfterNumber, Gaps(24, 20.0, {{3, 12}, {9, 15}, {15, 15}}), 4ms,
                  R"(data came less than 20\.0 ms after its page number on 3 of 24 frames, the soonest 5\.0 ms after)"},
        JudgeCase{"AReaderAtNormalPriorityHasMoreSlack", kAfterNumber, Gaps(24, 20.05, {{3, 7}, {9, 7}, {15, 7}}), 8ms,
                  ""},
        // A short update: one late byte is never enough, two short gaps are.
        JudgeCase{"OneShortGapInTwo", kAfterNumber, Gaps(2, 20.05, {{0, 15}}), 4ms, ""},
        JudgeCase{"BothGapsOfTwoShort", kAfterNumber, Gaps(2, 5.0), 4ms,
                  R"(data came less than 20\.0 ms after its page number on 2 of 2 frames, the soonest 5\.0 ms after)"},
        // Too few gaps for a median: two late bytes in three would move it.
        JudgeCase{"TwoLateBytesInThreeGaps", kAfterNumber, Gaps(3, 20.05, {{0, 2.5}, {1, 5}}), 4ms, ""},
        JudgeCase{"NoGaps", kAfterNumber, {}, 4ms, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

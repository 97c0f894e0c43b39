#include "firmware/FileTime.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TimeCase {
    const char* name;
    firmware::LocalTime time;
    const char* text;
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.name; }

class FileTimeTest : public testing::TestWithParam<TimeCase> {};

TEST_P(FileTimeTest, WritesDateThenTwelveHourClock) {
    EXPECT_EQ(firmware::FormatFileTime(GetParam().time), GetParam().text);
}

const TimeCase kCases[] = {
    {"MorningOneDigitHourKeepsItsBlank", {2012, 3, 7, 9, 5, 7}, "     (3-7-2012,  9:05:07 AM)"},
    {"MidnightIsHourZeroAm", {2012, 3, 7, 0, 0, 0}, "     (3-7-2012,  0:00:00 AM)"},
    {"HalfPastMidnightIsHourZeroAm", {2012, 3, 7, 0, 30, 5}, "     (3-7-2012,  0:30:05 AM)"},
    {"ElevenIsStillAm", {2011, 12, 31, 11, 59, 59}, "     (12-31-2011, 11:59:59 AM)"},
    {"NoonIsTwelvePm", {2012, 3, 7, 12, 0, 0}, "     (3-7-2012, 12:00:00 PM)"},
    {"AfterNoonStaysTwelvePm", {2012, 3, 7, 12, 45, 1}, "     (3-7-2012, 12:45:01 PM)"},
    {"OnePmIsHourOne", {2012, 3, 7, 13, 0, 9}, "     (3-7-2012,  1:00:09 PM)"},
    {"LastSecondOfTheDay", {2012, 3, 7, 23, 59, 59}, "     (3-7-2012, 11:59:59 PM)"},
    {"OneDigitMinuteAndSecondGetTheirZero", {2011, 10, 9, 10, 1, 9}, "     (10-9-2011, 10:01:09 AM)"},
    {"TwoDigitMinuteAndSecondUnchanged", {2011, 1, 1, 22, 10, 30}, "     (1-1-2011, 10:10:30 PM)"},
};
INSTANTIATE_TEST_SUITE_P(Times, FileTimeTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

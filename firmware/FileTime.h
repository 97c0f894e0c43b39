// The time text of the firmware file line: the file's last modification in local time.
#pragma once

#include <string>

namespace firmware {

struct LocalTime {
    int year;    // four digits
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
};

// The whole time text: the date piece followed by the 12-hour clock piece.
std::string FormatFileTime(const LocalTime& t);

}  // namespace firmware

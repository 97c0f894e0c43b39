#include "firmware/FileTime.h"

#include <cstdio>

#include "texts/Texts.h"

namespace firmware {
namespace {

// Ample for any int in each field.
constexpr std::size_t kPieceBuffer = 80;

std::string DatePiece(const LocalTime& t) {
    char text[kPieceBuffer];
    const int n = std::snprintf(text, sizeof text, texts::kFileTimeDate, t.month, t.day, t.year);
    return n > 0 ? std::string(text) : std::string();
}

// Hour 0 stays 0 on this clock (no 12 AM); minutes and seconds get their tens digit as '0'
// in place of the blank that the width-2 field leaves, while the hour keeps its blank.
std::string ClockPiece(const LocalTime& t) {
    const bool afternoon = t.hour >= 12;
    const int hour = t.hour > 12 ? t.hour - 12 : t.hour;
    char text[kPieceBuffer];
    const int n = std::snprintf(text, sizeof text, texts::kFileTimeClock, hour, t.minute, t.second,
                                afternoon ? texts::kPm : texts::kAm);
    if (n <= 0) return std::string();
    std::string piece(text);
    for (const std::size_t tens : {std::size_t{3}, std::size_t{6}}) {
        if (tens < piece.size() && piece[tens] == ' ') piece[tens] = '0';
    }
    return piece;
}

}  // namespace

std::string FormatFileTime(const LocalTime& t) { return DatePiece(t) + ClockPiece(t); }

}  // namespace firmware

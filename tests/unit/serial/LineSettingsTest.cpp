#include "serial/LineSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

// Readable failures: the settings field by field.
void PrintTo(const LineSettings& s, std::ostream* out) {
    *out << "{baud " << s.baud << ", bits " << int{s.dataBits} << ", parity " << int(s.parity) << ", stop "
         << int(s.stopBits) << ", flags " << s.binary << s.checkParity << s.raiseDtr << s.raiseRts << s.sendAfterXoff
         << ", lim " << s.xonLimit << '/' << s.xoffLimit << ", chars " << int{s.xonChar} << ' ' << int{s.xoffChar}
         << ' ' << int{s.errorChar} << ' ' << int{s.eofChar} << ' ' << int{s.eventChar} << '}';
}

namespace {

// The settings every open starts from, written out field by field: only the four mapped fields
// vary with the arguments.
LineSettings Reference(std::uint32_t baud, Parity parity, std::uint8_t dataBits, StopBits stopBits) {
    return {.baud = baud,
            .dataBits = dataBits,
            .parity = parity,
            .stopBits = stopBits,
            .binary = true,
            .checkParity = true,
            .raiseDtr = true,
            .raiseRts = true,
            .sendAfterXoff = true,
            .xonLimit = 100,
            .xoffLimit = 100,
            .xonChar = 0x11,
            .xoffChar = 0x13,
            .errorChar = 0xFF,
            .eofChar = 0x0D,
            .eventChar = 0xFF};
}

struct Composition {
    const char* behaviour;
    int baud, parity, dataBits, stopBits;
    std::uint32_t expectedBaud;
    Parity expectedParity;
    std::uint8_t expectedDataBits;
    StopBits expectedStopBits;
};

std::ostream& operator<<(std::ostream& out, const Composition& c) { return out << c.behaviour; }

class ComposeLineSettingsTest : public testing::TestWithParam<Composition> {};

TEST_P(ComposeLineSettingsTest, BuildsTheWholeRecord) {
    const Composition& c = GetParam();
    EXPECT_EQ(ComposeLineSettings(c.baud, c.parity, c.dataBits, c.stopBits),
              Reference(c.expectedBaud, c.expectedParity, c.expectedDataBits, c.expectedStopBits));
}

constexpr Composition kCompositions[] = {
    {"UpdateSettings38400N81", 38400, 'N', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"Baud300Unchanged", 300, 'N', 8, 1, 300, Parity::None, 8, StopBits::One},
    {"Baud600Unchanged", 600, 'N', 8, 1, 600, Parity::None, 8, StopBits::One},
    {"Baud1200Unchanged", 1200, 'N', 8, 1, 1200, Parity::None, 8, StopBits::One},
    {"Baud2400Unchanged", 2400, 'N', 8, 1, 2400, Parity::None, 8, StopBits::One},
    {"Baud4800Unchanged", 4800, 'N', 8, 1, 4800, Parity::None, 8, StopBits::One},
    {"Baud9600Unchanged", 9600, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"Baud14400Unchanged", 14400, 'N', 8, 1, 14400, Parity::None, 8, StopBits::One},
    {"Baud19200Unchanged", 19200, 'N', 8, 1, 19200, Parity::None, 8, StopBits::One},
    {"Baud57600Unchanged", 57600, 'N', 8, 1, 57600, Parity::None, 8, StopBits::One},
    {"Baud115200Unchanged", 115200, 'N', 8, 1, 115200, Parity::None, 8, StopBits::One},
    {"Baud28800FallsBackTo9600", 28800, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"Baud0FallsBackTo9600", 0, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"NegativeBaudFallsBackTo9600", -38400, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"Baud110NotInTheListFallsBackTo9600", 110, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"Baud115201FallsBackTo9600", 115201, 'N', 8, 1, 9600, Parity::None, 8, StopBits::One},
    {"ParityEIsEven", 38400, 'E', 8, 1, 38400, Parity::Even, 8, StopBits::One},
    {"ParityOIsOdd", 38400, 'O', 8, 1, 38400, Parity::Odd, 8, StopBits::One},
    {"ParityMIsMark", 38400, 'M', 8, 1, 38400, Parity::Mark, 8, StopBits::One},
    {"ParitySIsSpace", 38400, 'S', 8, 1, 38400, Parity::Space, 8, StopBits::One},
    {"LowerCaseEIsNone", 38400, 'e', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"LowerCaseOIsNone", 38400, 'o', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"LowerCaseMIsNone", 38400, 'm', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"LowerCaseSIsNone", 38400, 's', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"ParityCodeZeroIsNone", 38400, 0, 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"OtherLetterIsNone", 38400, 'X', 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"CodeWhoseLowByteIsEIsNone", 38400, 0x145, 8, 1, 38400, Parity::None, 8, StopBits::One},
    {"TwoStopBits", 38400, 'N', 8, 2, 38400, Parity::None, 8, StopBits::Two},
    {"ZeroStopBitsIsOne", 38400, 'N', 8, 0, 38400, Parity::None, 8, StopBits::One},
    {"ThreeStopBitsIsOne", 38400, 'N', 8, 3, 38400, Parity::None, 8, StopBits::One},
    {"NegativeTwoStopBitsIsOne", 38400, 'N', 8, -2, 38400, Parity::None, 8, StopBits::One},
    {"SevenDataBits", 9600, 'E', 7, 2, 9600, Parity::Even, 7, StopBits::Two},
    {"DataBitsKeepLowByte", 38400, 'N', 0x108, 1, 38400, Parity::None, 8, StopBits::One},
    {"NegativeDataBitsKeepLowByte", 38400, 'N', -1, 1, 38400, Parity::None, 0xFF, StopBits::One},
};

INSTANTIATE_TEST_SUITE_P(Table, ComposeLineSettingsTest, testing::ValuesIn(kCompositions),
                         [](const testing::TestParamInfo<Composition>& info) { return info.param.behaviour; });

}  // namespace

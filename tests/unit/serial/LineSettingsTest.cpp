#include "serial/LineSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

// Readable failures: the record field by field.
void PrintTo(const LineSettings& s, std::ostream* out) {
    *out << "{len " << s.DCBlength << ", baud " << s.BaudRate << ", flags " << s.fBinary << s.fParity
         << s.fOutxCtsFlow << s.fOutxDsrFlow << ' ' << s.fDtrControl << ' ' << s.fDsrSensitivity
         << s.fTXContinueOnXoff << s.fOutX << s.fInX << s.fErrorChar << s.fNull << ' ' << s.fRtsControl
         << ' ' << s.fAbortOnError << ' ' << s.fDummy2 << ", res " << s.wReserved << ", lim " << s.XonLim
         << '/' << s.XoffLim << ", bits " << int{s.ByteSize} << " parity " << int{s.Parity} << " stop "
         << int{s.StopBits} << ", chars " << int{s.XonChar} << ' ' << int{s.XoffChar} << ' '
         << int{s.ErrorChar} << ' ' << int{s.EofChar} << ' ' << int{s.EvtChar} << ", res1 " << s.wReserved1
         << '}';
}

namespace {

// The record every open starts from, written out field by field: only the four mapped fields
// vary with the arguments.
LineSettings Reference(std::uint32_t baud, std::uint8_t parity, std::uint8_t byteSize, std::uint8_t stopBits) {
    LineSettings s;
    s.DCBlength = 28;
    s.BaudRate = baud;
    s.fBinary = 1;
    s.fParity = 1;
    s.fOutxCtsFlow = 0;
    s.fOutxDsrFlow = 0;
    s.fDtrControl = 1;
    s.fDsrSensitivity = 0;
    s.fTXContinueOnXoff = 1;
    s.fOutX = 0;
    s.fInX = 0;
    s.fErrorChar = 0;
    s.fNull = 0;
    s.fRtsControl = 1;
    s.fAbortOnError = 0;
    s.fDummy2 = 0;
    s.wReserved = 0;
    s.XonLim = 100;
    s.XoffLim = 100;
    s.ByteSize = byteSize;
    s.Parity = parity;
    s.StopBits = stopBits;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    s.ErrorChar = 0xFF;
    s.EofChar = 0x0D;
    s.EvtChar = 0xFF;
    s.wReserved1 = 0;
    return s;
}

struct Composition {
    const char* behaviour;
    int baud, parity, dataBits, stopBits;
    std::uint32_t baudRate;
    std::uint8_t parityCode, byteSize, stopCode;
};

std::ostream& operator<<(std::ostream& out, const Composition& c) { return out << c.behaviour; }

class ComposeLineSettingsTest : public testing::TestWithParam<Composition> {};

TEST_P(ComposeLineSettingsTest, BuildsTheWholeRecord) {
    const Composition& c = GetParam();
    EXPECT_EQ(ComposeLineSettings(c.baud, c.parity, c.dataBits, c.stopBits),
              Reference(c.baudRate, c.parityCode, c.byteSize, c.stopCode));
}

// Parity codes: 0 none, 1 odd, 2 even, 3 mark, 4 space. Stop codes: 0 one, 2 two.
constexpr Composition kCompositions[] = {
    {"UpdateSettings38400N81", 38400, 'N', 8, 1, 38400, 0, 8, 0},
    {"Baud300Unchanged", 300, 'N', 8, 1, 300, 0, 8, 0},
    {"Baud600Unchanged", 600, 'N', 8, 1, 600, 0, 8, 0},
    {"Baud1200Unchanged", 1200, 'N', 8, 1, 1200, 0, 8, 0},
    {"Baud2400Unchanged", 2400, 'N', 8, 1, 2400, 0, 8, 0},
    {"Baud4800Unchanged", 4800, 'N', 8, 1, 4800, 0, 8, 0},
    {"Baud9600Unchanged", 9600, 'N', 8, 1, 9600, 0, 8, 0},
    {"Baud14400Unchanged", 14400, 'N', 8, 1, 14400, 0, 8, 0},
    {"Baud19200Unchanged", 19200, 'N', 8, 1, 19200, 0, 8, 0},
    {"Baud57600Unchanged", 57600, 'N', 8, 1, 57600, 0, 8, 0},
    {"Baud115200Unchanged", 115200, 'N', 8, 1, 115200, 0, 8, 0},
    {"Baud28800FallsBackTo9600", 28800, 'N', 8, 1, 9600, 0, 8, 0},
    {"Baud0FallsBackTo9600", 0, 'N', 8, 1, 9600, 0, 8, 0},
    {"NegativeBaudFallsBackTo9600", -38400, 'N', 8, 1, 9600, 0, 8, 0},
    {"Baud110NotInTheListFallsBackTo9600", 110, 'N', 8, 1, 9600, 0, 8, 0},
    {"Baud115201FallsBackTo9600", 115201, 'N', 8, 1, 9600, 0, 8, 0},
    {"ParityEIsEven", 38400, 'E', 8, 1, 38400, 2, 8, 0},
    {"ParityOIsOdd", 38400, 'O', 8, 1, 38400, 1, 8, 0},
    {"ParityMIsMark", 38400, 'M', 8, 1, 38400, 3, 8, 0},
    {"ParitySIsSpace", 38400, 'S', 8, 1, 38400, 4, 8, 0},
    {"LowerCaseEIsNone", 38400, 'e', 8, 1, 38400, 0, 8, 0},
    {"LowerCaseOIsNone", 38400, 'o', 8, 1, 38400, 0, 8, 0},
    {"LowerCaseMIsNone", 38400, 'm', 8, 1, 38400, 0, 8, 0},
    {"LowerCaseSIsNone", 38400, 's', 8, 1, 38400, 0, 8, 0},
    {"ParityCodeZeroIsNone", 38400, 0, 8, 1, 38400, 0, 8, 0},
    {"OtherLetterIsNone", 38400, 'X', 8, 1, 38400, 0, 8, 0},
    {"CodeWhoseLowByteIsEIsNone", 38400, 0x145, 8, 1, 38400, 0, 8, 0},
    {"TwoStopBits", 38400, 'N', 8, 2, 38400, 0, 8, 2},
    {"ZeroStopBitsIsOne", 38400, 'N', 8, 0, 38400, 0, 8, 0},
    {"ThreeStopBitsIsOne", 38400, 'N', 8, 3, 38400, 0, 8, 0},
    {"NegativeTwoStopBitsIsOne", 38400, 'N', 8, -2, 38400, 0, 8, 0},
    {"SevenDataBits", 9600, 'E', 7, 2, 9600, 2, 7, 2},
    {"DataBitsKeepLowByte", 38400, 'N', 0x108, 1, 38400, 0, 8, 0},
    {"NegativeDataBitsKeepLowByte", 38400, 'N', -1, 1, 38400, 0, 0xFF, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, ComposeLineSettingsTest, testing::ValuesIn(kCompositions),
                         [](const testing::TestParamInfo<Composition>& info) { return info.param.behaviour; });

}  // namespace

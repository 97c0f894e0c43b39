#include "serial/LineSettings.h"

#include <algorithm>
#include <array>

namespace {

// Values of the platform's settings record, fixed by its definition.
constexpr std::uint32_t kRecordSize = 28;
constexpr std::uint32_t kLineControlEnable = 1;  // DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE
constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr std::uint8_t kOneStopBit = 0, kTwoStopBits = 2;

constexpr std::array<int, 11> kStandardBaudRates = {300,   600,   1200,  2400,  4800, 9600,
                                                    14400, 19200, 38400, 57600, 115200};
constexpr std::uint32_t kFallbackBaudRate = 9600;

std::uint32_t MapBaudRate(int baud) {
    const bool standard =
        std::find(kStandardBaudRates.begin(), kStandardBaudRates.end(), baud) != kStandardBaudRates.end();
    return standard ? static_cast<std::uint32_t>(baud) : kFallbackBaudRate;
}

std::uint8_t MapParity(int parity) {
    switch (parity) {
        case 'E': return kEvenParity;
        case 'O': return kOddParity;
        case 'M': return kMarkParity;
        case 'S': return kSpaceParity;
        default: return kNoParity;
    }
}

std::uint8_t MapStopBits(int stopBits) { return stopBits == 2 ? kTwoStopBits : kOneStopBit; }

}  // namespace

LineSettings ComposeLineSettings(int baud, int parity, int dataBits, int stopBits) {
    LineSettings s;
    s.DCBlength = kRecordSize;
    s.BaudRate = MapBaudRate(baud);
    s.fBinary = 1;
    // Set whatever the parity letter: with no parity selected the driver has nothing to check.
    s.fParity = 1;
    s.fDtrControl = kLineControlEnable;
    s.fTXContinueOnXoff = 1;
    s.fRtsControl = kLineControlEnable;
    s.XonLim = 100;
    s.XoffLim = 100;
    s.ByteSize = static_cast<std::uint8_t>(dataBits & 0xFF);
    s.Parity = MapParity(parity);
    s.StopBits = MapStopBits(stopBits);
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    s.ErrorChar = 0xFF;
    s.EofChar = 0x0D;
    s.EvtChar = 0xFF;
    return s;
}

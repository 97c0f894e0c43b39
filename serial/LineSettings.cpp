#include "serial/LineSettings.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int, 11> kStandardBaudRates = {300,   600,   1200,  2400,  4800,  9600,
                                                    14400, 19200, 38400, 57600, 115200};
constexpr std::uint32_t kFallbackBaudRate = 9600;

std::uint32_t MapBaudRate(int baud) {
    const bool standard =
        std::find(kStandardBaudRates.begin(), kStandardBaudRates.end(), baud) != kStandardBaudRates.end();
    return standard ? static_cast<std::uint32_t>(baud) : kFallbackBaudRate;
}

Parity MapParity(int parity) {
    switch (parity) {
        case 'E': return Parity::Even;
        case 'O': return Parity::Odd;
        case 'M': return Parity::Mark;
        case 'S': return Parity::Space;
        default: return Parity::None;
    }
}

StopBits MapStopBits(int stopBits) { return stopBits == 2 ? StopBits::Two : StopBits::One; }

}  // namespace

LineSettings ComposeLineSettings(int baud, int parity, int dataBits, int stopBits) {
    // Parity is checked whatever the letter: with no parity selected the driver has nothing to check.
    return {.baud = MapBaudRate(baud),
            .dataBits = static_cast<std::uint8_t>(dataBits & 0xFF),
            .parity = MapParity(parity),
            .stopBits = MapStopBits(stopBits),
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

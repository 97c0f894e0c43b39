// The serial line settings the port object applies at every open, composed without the platform:
// what each setting means, turned into the platform's settings record in one place (DcbMapping).
// Every flag the composition doesn't name (hardware and software flow control, DSR sensitivity,
// null stripping, abort on error, error-character replacement) stays off.
#pragma once

#include <cstdint>

// The values are the record's own codes.
enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, Two = 2 };

struct LineSettings {
    std::uint32_t baud = 0;
    std::uint8_t dataBits = 0;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    // The record's flags.
    bool binary = false;
    bool checkParity = false;
    bool raiseDtr = false;  // DTR raised while open, not used for handshaking
    bool raiseRts = false;  // the same for RTS
    bool sendAfterXoff = false;
    // Software flow control's limits and characters: kept in the record though it is off.
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    std::uint8_t xonChar = 0;
    std::uint8_t xoffChar = 0;
    std::uint8_t errorChar = 0;
    std::uint8_t eofChar = 0;
    std::uint8_t eventChar = 0;

    bool operator==(const LineSettings&) const = default;
};

// The settings for a port opened with these arguments. The parity argument is a character code:
// only the upper-case letters E, O, M and S select a parity; a baud rate outside the standard list
// becomes 9600; only 2 stop bits selects two, anything else one; the data bits keep their low 8
// bits. DTR and RTS are raised while open, and there is no flow control of either kind.
LineSettings ComposeLineSettings(int baud, int parity, int dataBits, int stopBits);

// The serial line settings the port object applies at every open, composed without the platform:
// one field per member (and per flag bit) of the Win32 DCB record, under the same names, so the
// Win32 side copies them across one to one. Every field the composition doesn't set stays 0.
#pragma once

#include <cstdint>

struct LineSettings {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    // The flag word, bit by bit (fDtrControl and fRtsControl are two bits wide, fDummy2 17).
    std::uint32_t fBinary = 0;
    std::uint32_t fParity = 0;
    std::uint32_t fOutxCtsFlow = 0;
    std::uint32_t fOutxDsrFlow = 0;
    std::uint32_t fDtrControl = 0;
    std::uint32_t fDsrSensitivity = 0;
    std::uint32_t fTXContinueOnXoff = 0;
    std::uint32_t fOutX = 0;
    std::uint32_t fInX = 0;
    std::uint32_t fErrorChar = 0;
    std::uint32_t fNull = 0;
    std::uint32_t fRtsControl = 0;
    std::uint32_t fAbortOnError = 0;
    std::uint32_t fDummy2 = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    bool operator==(const LineSettings&) const = default;
};

// The settings record for a port opened with these arguments. The parity argument is a character
// code: only the upper-case letters E, O, M and S select a parity; a baud rate outside the standard
// list becomes 9600; only 2 stop bits selects two, anything else one; the data bits keep their low
// 8 bits. DTR and RTS are raised while open, and there is no flow control of either kind.
LineSettings ComposeLineSettings(int baud, int parity, int dataBits, int stopBits);

#include "tools/bootsim/LineSettings.h"

namespace bootsim {

namespace {

struct SpeedName {
    speed_t code;
    unsigned baud;
};

constexpr SpeedName kSpeeds[] = {{B0, 0},         {B300, 300},     {B600, 600},       {B1200, 1200},
                                 {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},
                                 {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};

unsigned BaudOf(speed_t code) {
    for (const SpeedName& s : kSpeeds) {
        if (s.code == code) return s.baud;
    }
    return 0;
}

std::string Baud(speed_t code) {
    const unsigned baud = BaudOf(code);
    return baud != 0 || code == B0 ? std::to_string(baud) + " baud" : "an odd speed";
}

std::string DataBits(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5: return "5 data bits";
        case CS6: return "6 data bits";
        case CS7: return "7 data bits";
        default: return "8 data bits";
    }
}

std::string Parity(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) return "no parity";
    return (cflag & PARODD) != 0 ? "odd parity" : "even parity";
}

std::string FlowControl(const termios& s) {
    std::string flow;
    auto add = [&flow](const char* kind) { flow += (flow.empty() ? "" : " and ") + std::string(kind); };
    if ((s.c_cflag & CRTSCTS) != 0) add("RTS/CTS flow control");
    if ((s.c_iflag & IXON) != 0) add("XON/XOFF on output");
    if ((s.c_iflag & IXOFF) != 0) add("XON/XOFF on input");
    return flow.empty() ? "no flow control" : flow;
}

}  // namespace

std::string DescribeLine(const termios& settings) {
    const speed_t in = cfgetispeed(&settings);
    const speed_t out = cfgetospeed(&settings);
    // Input speed 0 means "as the output": only a real difference is worth saying.
    const std::string speed = in == out || in == B0 ? Baud(out) : Baud(out) + " out and " + Baud(in) + " in";
    return speed + ", " + DataBits(settings.c_cflag) + ", " + Parity(settings.c_cflag) + ", " +
           ((settings.c_cflag & CSTOPB) != 0 ? "2 stop bits" : "1 stop bit") + ", " + FlowControl(settings);
}

bool LineAsWanted(const termios& settings) { return DescribeLine(settings) == WantedLine(); }

unsigned BaudRate(const termios& settings) { return BaudOf(cfgetospeed(&settings)); }

std::string WantedLine() { return "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control"; }

}  // namespace bootsim

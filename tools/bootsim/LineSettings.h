// The line settings the device's serial port runs at, read back from the terminal the program
// configured, and said in words for a protocol error.
#pragma once

#include <termios.h>

#include <string>

namespace bootsim {

// "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control" and the like.
std::string DescribeLine(const termios& settings);

// The device talks 38400 baud, 8 data bits, no parity, 1 stop bit, no flow control of either kind.
bool LineAsWanted(const termios& settings);

// What the device wants, in the same words.
std::string WantedLine();

// The speed the line sends at, in bits a second; 0 for none or one without a name.
unsigned BaudRate(const termios& settings);

}  // namespace bootsim

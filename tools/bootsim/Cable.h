// When bytes sent down a serial cable arrive at its other end: one after another, each taking the
// time of its ten bits (start bit, eight data bits, stop bit) at the line's speed, none before the
// one sent ahead of it has arrived.
#pragma once

#include <chrono>
#include <cstddef>

namespace bootsim {

// The time one byte takes on the wire at `baud` bits a second; zero for a line with no speed.
std::chrono::steady_clock::duration ByteTime(unsigned baud);

// One direction of a cable.
class Cable {
public:
    using Clock = std::chrono::steady_clock;

    // Carries `count` bytes handed to the line at `sentAt` and returns when the first of them
    // arrives; each of the others arrives one byte time after the one before it.
    Clock::time_point Carry(Clock::time_point sentAt, std::size_t count, Clock::duration byteTime);

private:
    Clock::time_point free_{};  // when the last byte carried so far has arrived
};

}  // namespace bootsim

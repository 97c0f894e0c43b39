// The program's side of the simulator's line, natively: the slave opened through the link in raw
// mode, with the serial port's byte operations so the conversation can run over it, and a steady
// clock host for that conversation.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/bootsim/FileDescriptor.h"

namespace ptyline {

class Port {
public:
    // Opens the line as the program would: read and write, not as a controlling terminal, raw, at
    // 38400 baud, 8 data bits, no parity, 1 stop bit, no flow control; speed and change let a test
    // set it up otherwise.
    bool Open(const std::string& path, speed_t speed = B38400, void (*change)(termios&) = nullptr) {
        fd_ = bootsim::FileDescriptor(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd_.Valid()) return false;
        termios settings{};
        if (tcgetattr(fd_.Get(), &settings) != 0) return false;
        cfmakeraw(&settings);
        settings.c_cflag &= ~(CSTOPB | CRTSCTS);
        settings.c_iflag &= ~(IXON | IXOFF);
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        if (change != nullptr) change(settings);
        return tcsetattr(fd_.Get(), TCSANOW, &settings) == 0;
    }
    void Close() { fd_.Close(); }

    bool WriteByte(int value) {
        const std::uint8_t byte = static_cast<std::uint8_t>(value & 0xFF);
        return WriteAll(&byte, 1);
    }
    bool WriteBytes(const void* data, int count) {
        return count >= 0 && WriteAll(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count));
    }
    bool WriteString(const char* text) {
        return WriteAll(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
    }
    bool WriteText(const std::string& bytes) {
        return WriteAll(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    unsigned long BytesAvailable() {
        int queued = 0;
        if (ioctl(fd_.Get(), FIONREAD, &queued) != 0 || queued < 0) return 0;
        return static_cast<unsigned long>(queued);
    }
    bool PurgeInput() { return tcflush(fd_.Get(), TCIFLUSH) == 0; }
    // As the serial port reads: only what is queued, never waiting.
    unsigned Read(void* buffer, unsigned count) {
        if (count == 0) return 0;
        const unsigned long queued = BytesAvailable();
        if (queued == 0) return 0;
        const ssize_t n = ::read(fd_.Get(), buffer, count < queued ? count : queued);
        return n > 0 ? static_cast<unsigned>(n) : 0u;
    }

    // Whatever arrives until count bytes or the time-out; for tests that play the program by hand.
    std::string ReadFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::string bytes;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd line = {fd_.Get(), POLLIN, 0};
            if (poll(&line, 1, static_cast<int>(left.count())) <= 0) continue;
            if ((line.revents & POLLIN) == 0) break;
            char chunk[512];
            const ssize_t n = ::read(fd_.Get(), chunk, std::min(sizeof chunk, count - bytes.size()));
            if (n <= 0) break;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        return bytes;
    }

private:
    bool WriteAll(const std::uint8_t* data, std::size_t count) {
        while (count > 0) {
            const ssize_t n = ::write(fd_.Get(), data, count);
            if (n < 0 && errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (n <= 0) return false;
            data += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bootsim::FileDescriptor fd_;
};

// Real time for the conversation, and the image from memory.
class Host {
public:
    explicit Host(std::vector<std::uint8_t> image) : image_(std::move(image)) {}

    std::uint32_t Now() {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
    // Counted on the steady clock itself: whole milliseconds could end a pause most of one short.
    void Delay(std::uint32_t ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) std::this_thread::yield();
    }
    void ShowBootLoaderVersion(const std::string& line) { versions.push_back(line); }
    void ShowPageProgress(unsigned page, unsigned) { progress.push_back(page); }
    bool OpenImage(unsigned& pageCount) {
        pageCount = static_cast<unsigned>(image_.size() / 256);
        open = true;
        return true;
    }
    bool ReadPage(unsigned index, std::uint8_t (&page)[256]) {
        if ((index + 1) * 256u > image_.size()) return false;
        std::memcpy(page, image_.data() + index * 256u, 256);
        return true;
    }
    void CloseImage() { open = false; }

    std::vector<std::string> versions;
    std::vector<unsigned> progress;
    bool open = false;

private:
    std::vector<std::uint8_t> image_;
};

}  // namespace ptyline

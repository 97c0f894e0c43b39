// The conversation with the device's boot loader: finding it after the user presses the reset
// button, greeting it, checking its version line and sending the page image frame by frame.
//
// Templates over the port and the host. The port is anything with the serial port's byte
// operations (WriteByte, WriteBytes, WriteString, BytesAvailable, PurgeInput, Read), so the port
// class needs no base class. The host gives time and everything that is not the wire:
//   std::uint32_t Now();                       millisecond tick counter, wrapping modulo 2^32
//   void Delay(std::uint32_t ms);              busy pause, no messages processed
//   void ShowBootLoaderVersion(const std::string& versionLine);   the accepted version line
//   void ShowPageProgress(unsigned page, unsigned pageCount);     page counted from 1; the host
//                                              writes the progress text, repaints on every fourth
//                                              page and pumps one message
//   bool OpenImage(unsigned& pageCount);       whole 256-byte pages in the image
//   bool ReadPage(unsigned index, std::uint8_t (&page)[256]);   false unless all 256 bytes were read
//   void CloseImage();                         called exactly once after a successful OpenImage
// The firmware file check and the emptying of the status lines come before TransferPages; the
// closing of the port and the final message after it, from its outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "firmware/PageSize.h"
#include "texts/Texts.h"

namespace update {

enum class TransferOutcome {
    Success,
    NoResponse,
    InvalidVersion,
    NoReadyResponse,
    InvalidReadyResponse,
    ImageNotOpened,  // before any frame: the device has heard nothing of the image
    ImageNotRead     // a page could not be read while pages were going out
};

namespace wire {
inline constexpr std::uint8_t kAttention = 0xC0;
inline constexpr std::uint8_t kPresence = 0xD0;
inline constexpr std::uint8_t kCarriageReturn = 0x0D;
inline constexpr std::uint8_t kReady = 0x21;      // "!": ready after the version line, page taken
inline constexpr std::uint8_t kRefusal = 0x40;    // "@": send the same page again
inline constexpr std::uint8_t kEndMarker = 0xFF;  // sent twice after the last page

using firmware::kPageSize;
// Page numbers are 16 bits on the wire, and 0xFFFF would read as the end marker.
inline constexpr unsigned kMaxPageCount = 0xFFFF;
// The fifth refusal in a row of one page ends the transfer.
inline constexpr int kRefusalLimit = 5;

// Pauses and windows, milliseconds.
inline constexpr std::uint32_t kSettleMs = 100;  // lets the presence byte's echo die down
inline constexpr std::uint32_t kAfterGreetingMs = 20;
inline constexpr std::uint32_t kVersionWindowMs = 3000;  // for the whole line, not per byte
inline constexpr std::uint32_t kReadyWindowMs = 2000;
inline constexpr std::uint32_t kAfterPageNumberMs = 20;
inline constexpr std::uint32_t kAfterDataMs = 10;
inline constexpr std::uint32_t kAfterChecksumMs = 20;
inline constexpr std::uint32_t kReplyWindowMs = 3000;
inline constexpr std::uint32_t kAfterEndMarkerMs = 20;
}  // namespace wire

// Additive checksum of a page: the sum of its bytes modulo 256, not negated.
inline std::uint8_t PageChecksum(const std::uint8_t (&page)[wire::kPageSize]) {
    unsigned sum = 0;
    for (std::uint8_t byte : page) sum += byte;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

namespace detail {

// A window is over when the elapsed time reaches it; the difference wraps with the counter.
inline bool WindowOver(std::uint32_t start, std::uint32_t now, std::uint32_t windowMs) {
    return static_cast<std::uint32_t>(now - start) >= windowMs;
}

// A read that does not give exactly one byte counts as failed.
template <class Port>
bool ReadOneByte(Port& port, std::uint8_t& byte) {
    byte = 0;
    return port.Read(&byte, 1u) == 1u;
}

// True when a byte is queued before the window, started now, is over.
template <class Port, class Host>
bool AwaitByte(Port& port, Host& host, std::uint32_t windowMs) {
    const std::uint32_t start = host.Now();
    for (;;) {
        if (WindowOver(start, host.Now(), windowMs)) return false;
        if (port.BytesAvailable() > 0) return true;
    }
}

// The version line, collected until its carriage return. Only one exact line is ever accepted,
// so a line longer than that fails at once and nothing longer is ever kept.
template <class Port, class Host>
TransferOutcome ReceiveVersionLine(Port& port, Host& host) {
    constexpr std::size_t kLength = sizeof(texts::kBootLoaderVersion) - 1;
    char line[kLength];
    std::size_t length = 0;
    const std::uint32_t start = host.Now();
    for (;;) {
        if (WindowOver(start, host.Now(), wire::kVersionWindowMs)) return TransferOutcome::NoResponse;
        if (port.BytesAvailable() == 0) continue;
        std::uint8_t byte = 0;
        if (!ReadOneByte(port, byte)) return TransferOutcome::InvalidVersion;
        if (byte == wire::kCarriageReturn) {
            if (length != kLength || std::memcmp(line, texts::kBootLoaderVersion, kLength) != 0) {
                return TransferOutcome::InvalidVersion;
            }
            host.ShowBootLoaderVersion(std::string(line, length));
            return TransferOutcome::Success;
        }
        if (length == kLength) return TransferOutcome::InvalidVersion;
        line[length++] = static_cast<char>(byte);
    }
}

template <class Port, class Host>
TransferOutcome ReceiveReadyByte(Port& port, Host& host) {
    if (!AwaitByte(port, host, wire::kReadyWindowMs)) return TransferOutcome::NoReadyResponse;
    std::uint8_t byte = 0;
    if (!ReadOneByte(port, byte) || byte != wire::kReady) return TransferOutcome::InvalidReadyResponse;
    return TransferOutcome::Success;
}

// One frame: page number high byte first, the page, its checksum, each followed by its pause.
template <class Port, class Host>
void SendFrame(Port& port, Host& host, unsigned index, const std::uint8_t (&page)[wire::kPageSize]) {
    port.WriteByte(static_cast<int>((index >> 8) & 0xFF));
    port.WriteByte(static_cast<int>(index & 0xFF));
    host.Delay(wire::kAfterPageNumberMs);
    port.WriteBytes(page, static_cast<int>(wire::kPageSize));
    host.Delay(wire::kAfterDataMs);
    port.WriteByte(PageChecksum(page));
    host.Delay(wire::kAfterChecksumMs);
}

// Every page in order; a refused page goes out again in full, with its progress shown again.
template <class Port, class Host>
TransferOutcome SendPages(Port& port, Host& host, unsigned pageCount) {
    std::uint8_t page[wire::kPageSize] = {};
    unsigned index = 0;
    int refusals = 0;
    while (index < pageCount) {
        host.ShowPageProgress(index + 1, pageCount);
        // A frame of whatever the buffer last held would be taken by the device as this page.
        if (!host.ReadPage(index, page)) return TransferOutcome::ImageNotRead;
        SendFrame(port, host, index, page);
        if (!AwaitByte(port, host, wire::kReplyWindowMs)) return TransferOutcome::NoResponse;
        std::uint8_t reply = 0;
        if (!ReadOneByte(port, reply)) return TransferOutcome::InvalidReadyResponse;
        if (reply == wire::kReady) {
            refusals = 0;
            ++index;
        } else if (reply != wire::kRefusal || ++refusals >= wire::kRefusalLimit) {
            return TransferOutcome::InvalidReadyResponse;
        }
    }
    return TransferOutcome::Success;
}

// Closes the image on every way out once it is open.
template <class Host>
class OpenedImage {
public:
    explicit OpenedImage(Host& host) : host_(host) {}
    ~OpenedImage() { host_.CloseImage(); }
    OpenedImage(const OpenedImage&) = delete;
    OpenedImage& operator=(const OpenedImage&) = delete;

private:
    Host& host_;
};

}  // namespace detail

// One timer tick of an armed update: drops queued bytes until the presence byte (true), a failed
// read or an empty queue, leaving what follows the presence byte queued; then sends the attention
// byte, on the finding tick too.
template <class Port>
bool PollForBootLoader(Port& port) {
    bool found = false;
    while (port.BytesAvailable() > 0) {
        std::uint8_t byte = 0;
        if (!detail::ReadOneByte(port, byte)) break;
        if (byte == wire::kPresence) {
            found = true;
            break;
        }
    }
    port.WriteByte(wire::kAttention);
    return found;
}

// From the settling pause after detection to the end marker. Whatever the device sent before the
// greeting, its presence byte included, is purged.
template <class Port, class Host>
TransferOutcome TransferPages(Port& port, Host& host) {
    host.Delay(wire::kSettleMs);
    port.PurgeInput();
    port.WriteString(texts::kGreeting);
    host.Delay(wire::kAfterGreetingMs);

    if (TransferOutcome o = detail::ReceiveVersionLine(port, host); o != TransferOutcome::Success) return o;
    if (TransferOutcome o = detail::ReceiveReadyByte(port, host); o != TransferOutcome::Success) return o;

    unsigned pageCount = 0;
    if (!host.OpenImage(pageCount)) return TransferOutcome::ImageNotOpened;
    const detail::OpenedImage<Host> image(host);
    // An image without a whole page is not a firmware: better the device hears nothing than an end
    // marker that would declare an empty image complete.
    if (pageCount == 0 || pageCount > wire::kMaxPageCount) return TransferOutcome::ImageNotOpened;

    if (TransferOutcome o = detail::SendPages(port, host, pageCount); o != TransferOutcome::Success) return o;

    port.WriteByte(wire::kEndMarker);
    port.WriteByte(wire::kEndMarker);
    host.Delay(wire::kAfterEndMarkerMs);
    return TransferOutcome::Success;
}

}  // namespace update

// The far end of the pseudo-terminal pair and the small waits the port tests need.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Handles.h"

// Set by the build: the pair's two COM ports (see pty-pair.sh).
constexpr int kPairPort = TLYN_PAIR_PORT;
constexpr int kPairPeerPort = TLYN_PAIR_PEER;
constexpr int kRefusingPort = TLYN_REFUSING_PORT;  // mapped, but its open fails

std::string DevicePath(int port);

// The other end of the line, driven with plain Win32 calls and a record of its own, so a fault
// in the port object's settings can't hide behind the same fault here.
class PeerPort {
public:
    bool Open(int port);
    void Close() { m_handle.Reset(); }
    HANDLE Get() const { return m_handle.Get(); }

    bool Write(const std::vector<unsigned char>& bytes);
    DWORD Queued();
    void Purge();
    // Waits (up to two seconds) until `count` bytes have arrived and returns them; fewer on time-out.
    std::vector<unsigned char> ReadExactly(std::size_t count);

private:
    framework::FileHandle m_handle;
};

// The number of handles of this process on which the serial calls work: how a test sees whether
// the port object has let go of a device.
int OpenPortHandles();

std::vector<unsigned char> AllByteValues();

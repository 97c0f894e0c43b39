#include "PairPorts.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr ULONGLONG kArrivalTimeoutMs = 2000;

DCB PlainLineSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_38400;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

}  // namespace

std::string DevicePath(int port) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", port);
    return path;
}

bool PeerPort::Open(int port) {
    m_handle.Reset(
        CreateFileA(DevicePath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!m_handle.IsValid()) return false;
    DCB dcb = PlainLineSettings();
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    return SetCommState(m_handle.Get(), &dcb) && SetCommTimeouts(m_handle.Get(), &timeouts) &&
           PurgeComm(m_handle.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
}

bool PeerPort::Write(const std::vector<unsigned char>& bytes) {
    DWORD written = 0;
    return WriteFile(m_handle.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

DWORD PeerPort::Queued() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(m_handle.Get(), &errors, &status) ? status.cbInQue : 0;
}

void PeerPort::Purge() { PurgeComm(m_handle.Get(), PURGE_RXCLEAR); }

std::vector<unsigned char> PeerPort::ReadExactly(std::size_t count) {
    std::vector<unsigned char> bytes;
    const ULONGLONG start = GetTickCount64();
    while (bytes.size() < count && GetTickCount64() - start < kArrivalTimeoutMs) {
        unsigned char chunk[512];
        const DWORD wanted = static_cast<DWORD>(std::min(count - bytes.size(), sizeof chunk));
        DWORD read = 0;
        if (ReadFile(m_handle.Get(), chunk, wanted, &read, nullptr) && read > 0) {
            bytes.insert(bytes.end(), chunk, chunk + read);
        } else {
            Sleep(1);
        }
    }
    return bytes;
}

int OpenPortHandles() {
    // Wine hands out small handle values; the serial calls fail on anything that isn't a port.
    int count = 0;
    for (UINT_PTR value = 4; value < 0x1000; value += 4) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (GetCommState(reinterpret_cast<HANDLE>(value), &dcb)) ++count;
    }
    return count;
}

std::vector<unsigned char> AllByteValues() {
    std::vector<unsigned char> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    return bytes;
}

#include "serial/RS232.h"

#include <cstdio>
#include <cstring>

#include "serial/DcbMapping.h"
#include "serial/LineSettings.h"

namespace {

constexpr DWORD kQueueSize = 0x8000;
constexpr DWORD kEventMask = EV_RXCHAR | EV_TXEMPTY;

// Reads return at once with whatever is queued, even nothing; writes have no time-out.
COMMTIMEOUTS ImmediateReadTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return timeouts;
}

}  // namespace

CRS232::~CRS232() { Close(); }

bool CRS232::Open(int port, int baud, int parity, int dataBits, int stopBits) {
    Close();
    // The device namespace form: plain "COMn" names only reach COM1..COM9.
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", port);
    m_port = port;
    m_settings = ToDcb(ComposeLineSettings(baud, parity, dataBits, stopBits));

    framework::FileHandle device(
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device.IsValid()) return false;
    m_handle = std::move(device);
    m_open = 1;

    // Configuring an opened device is best effort: the line either works with it or the
    // conversation above it reports the silence.
    m_receiveQueueSize = kQueueSize;
    m_transmitQueueSize = kQueueSize;
    SetupComm(m_handle.Get(), m_receiveQueueSize, m_transmitQueueSize);
    COMMTIMEOUTS timeouts = ImmediateReadTimeouts();
    SetCommTimeouts(m_handle.Get(), &timeouts);
    SetCommState(m_handle.Get(), &m_settings);
    SetCommMask(m_handle.Get(), kEventMask);
    return true;
}

void CRS232::Close() {
    if (m_open != 1) return;
    // Lowering the modem lines tells the device the host has let go before the handle does.
    EscapeCommFunction(m_handle.Get(), CLRDTR);
    EscapeCommFunction(m_handle.Get(), CLRRTS);
    m_handle.Reset();
    m_open = 0;
}

bool CRS232::Write(const void* data, DWORD count) {
    DWORD written = 0;
    return WriteFile(m_handle.Get(), data, count, &written, nullptr) != FALSE && written == count;
}

bool CRS232::WriteByte(int value) {
    const unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    return Write(&byte, 1);
}

bool CRS232::WriteBytes(const void* data, int count) {
    if (count < 0 || (data == nullptr && count > 0)) return false;
    return Write(data, static_cast<DWORD>(count));
}

bool CRS232::WriteString(const char* text) {
    if (text == nullptr) return false;
    return Write(text, static_cast<DWORD>(std::strlen(text)));
}

unsigned long CRS232::BytesAvailable() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(m_handle.Get(), &errors, &status)) return 0;
    return status.cbInQue;
}

bool CRS232::PurgeInput() { return PurgeComm(m_handle.Get(), PURGE_RXCLEAR) != FALSE; }

unsigned CRS232::Read(void* buffer, unsigned count) {
    if (count == 0 || buffer == nullptr) return 0;
    const unsigned long queued = BytesAvailable();
    if (queued == 0) return 0;
    if (queued < count) count = static_cast<unsigned>(queued);
    DWORD read = 0;
    if (!ReadFile(m_handle.Get(), buffer, count, &read, nullptr)) return 0;
    return read;
}

bool CRS232::Escape(int code) {
    if (m_open != 1) return false;
    return EscapeCommFunction(m_handle.Get(), static_cast<DWORD>(code)) != FALSE;
}

int CRS232::GetPort() const { return m_open == 1 ? m_port : -1; }

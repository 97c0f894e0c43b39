// The serial port object: one COM port at a time, configured completely at open, with small
// synchronous byte operations that never wait for data. Callers enforce every time limit
// themselves by polling the millisecond tick counter.
#pragma once

#include <windows.h>

#include "framework/Handles.h"

class CRS232 {
public:
    CRS232() = default;
    CRS232(const CRS232&) = delete;
    CRS232& operator=(const CRS232&) = delete;
    virtual ~CRS232();

    // Closes any open port, then opens COM<port> exclusively with the composed settings. False when
    // the device can't be opened; the object is closed then. Once open, configuring can't fail it.
    bool Open(int port, int baud, int parity, int dataBits, int stopBits);
    // Drops DTR, then RTS, then closes the device; does nothing when no port is open.
    void Close();

    // Writes and reads act on the open port; callers use them only between Open and Close.
    bool WriteByte(int value);                     // sends the low 8 bits of value
    bool WriteBytes(const void* data, int count);  // a negative count sends nothing: false
    bool WriteString(const char* text);            // the text without its terminator
    unsigned long BytesAvailable();                // bytes queued; clears line errors
    bool PurgeInput();                             // discards the receive queue only
    unsigned Read(void* buffer, unsigned count);   // at most what is queued; never waits

    bool Escape(int code);  // EscapeCommFunction; false when closed
    int GetPort() const;    // the port while open, else -1

private:
    bool Write(const void* data, DWORD count);

    int m_port = -1;   // last port given to Open, kept even when it failed
    DCB m_settings{};  // composed afresh at every Open
    int m_open = 0;    // 1 exactly while m_handle is a port opened by Open
    framework::FileHandle m_handle;
    DWORD m_receiveQueueSize = 0;
    DWORD m_transmitQueueSize = 0;
};

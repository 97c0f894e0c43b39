#include "serial/InstalledPorts.h"

#include <windows.h>

#include <algorithm>

#include "framework/Handles.h"

namespace {

constexpr char kInstalledPortsKey[] = "Hardware\\DeviceMap\\SERIALCOMM";
constexpr DWORD kNameBufferSize = 501;
constexpr DWORD kDataBufferSize = 51;

// The port named by the value at `index`, 0 when it names none; false when the enumeration ends
// there. A value whose name or data doesn't fit the buffers ends it too, like the list's end.
bool ReadPortValue(HKEY key, DWORD index, int& port) {
    char name[kNameBufferSize] = {};
    char data[kDataBufferSize] = {};
    DWORD nameLength = kNameBufferSize;
    DWORD dataSize = kDataBufferSize;
    DWORD type = 0;
    if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Any type of data counts as the port's name; only the bytes the call wrote are looked at.
    port = PortNumberFromName(RegistryDataText(data, std::min(dataSize, kDataBufferSize)));
    return true;
}

}  // namespace

bool ReadInstalledPorts(PortFlags& present) {
    present.fill(0);
    framework::RegistryKey key = framework::OpenRegistryKey(HKEY_LOCAL_MACHINE, kInstalledPortsKey, KEY_QUERY_VALUE);
    if (!key) return false;
    int port = 0;
    for (DWORD index = 0; ReadPortValue(key.Get(), index, port); ++index) {
        if (port != 0) present[static_cast<std::size_t>(port - 1)] = 1;
    }
    return true;
}

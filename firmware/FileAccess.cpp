#include "firmware/FileAccess.h"

#include "framework/Handles.h"

namespace firmware {

ReadStatus ReadExclusive(const std::string& path, std::string& bytes) {
    bytes.clear();
    framework::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return ReadStatus::OpenFailed;
    }
    char chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr)) {
            bytes.clear();
            return ReadStatus::ReadFailed;
        }
        if (got == 0) {
            return ReadStatus::Ok;
        }
        bytes.append(chunk, got);
    }
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, next, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        next += written;
        size -= written;
    }
    return true;
}

}  // namespace firmware

#include "firmware/FileAccess.h"

#include "firmware/FilePathRules.h"
#include "framework/AnsiCodePage.h"

namespace firmware {
namespace {

// What an open handle stands for: a file on disk that is no folder.
bool IsRegularFile(HANDLE file) {
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

framework::FileHandle OpenRegularFile(const std::string& path) {
    if (ClassifyPath(path, &framework::IsAnsiLeadByte) != PathKind::Plain) {
        return {};
    }
    framework::FileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && !IsRegularFile(file.Get())) {
        file.Reset();
    }
    return file;
}

bool FileSource::Read(std::span<char> buffer, std::size_t& got) {
    DWORD chunk = buffer.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(buffer.size());
    DWORD read = 0;
    if (!::ReadFile(file_, buffer.data(), chunk, &read, nullptr)) {
        got = 0;
        return false;
    }
    got = read;
    return true;
}

bool LastWriteLocalTime(HANDLE file, LocalTime& local) {
    FILETIME written{};
    SYSTEMTIME utc{};
    SYSTEMTIME here{};
    if (!::GetFileTime(file, nullptr, nullptr, &written) || !::FileTimeToSystemTime(&written, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &here)) {
        return false;
    }
    local = {here.wYear, here.wMonth, here.wDay, here.wHour, here.wMinute, here.wSecond};
    return true;
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

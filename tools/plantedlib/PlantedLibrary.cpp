// On load, appends the loading program's path to "planted-library-loaded.txt" beside this library.
// It exports nothing a caller could use: a program that loads it has lost its rich edit control.
#include <windows.h>

#include <string>

namespace {

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH * 4] = {};
    DWORD length = ::GetModuleFileNameA(module, path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}

void RecordLoad(HMODULE self) {
    std::string own = ModulePath(self);
    std::string log = own.substr(0, own.find_last_of("\\/") + 1) + "planted-library-loaded.txt";
    HANDLE file = ::CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string line = ModulePath(nullptr) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        RecordLoad(instance);
    }
    return TRUE;
}

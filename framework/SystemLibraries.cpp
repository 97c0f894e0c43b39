#include "framework/SystemLibraries.h"

#include <string>

namespace framework {
namespace {

// Newer than the floor of the headers: looked up at run time, and its absence is no error.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictLibrarySearch() {
    ::SetDllDirectoryA("");
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr) {
        setDefault(kSearchSystem32);
    }
}

HMODULE AfxInitRichEdit2() {
    char directory[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::string path = std::string(directory, length) + "\\RICHED20.DLL";
    // The library's own imports are looked for beside it, in the system directory.
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace framework

// Loaded into the program's process by the probe: under Wine a menu belongs to its process, so the
// state of a window's system menu can only be read from inside. On loading it writes one line per
// top-level dialog of the process, "<hwnd in hex> close=<state>,about=<state>", and then refuses to
// stay loaded, so that every load reads afresh.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "tools/probe/MenuStatePath.h"

namespace {

constexpr UINT kAboutItem = 0x0010;

class File {
public:
    explicit File(const std::string& path)
        : handle_(
              ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Write(const char* text, int length) {
        DWORD written = 0;
        if (IsOpen() && length > 0) ::WriteFile(handle_, text, static_cast<DWORD>(length), &written, nullptr);
    }
    void Close() {
        if (IsOpen()) ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE handle_;
};

BOOL CALLBACK ReportWindow(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char className[16] = {};
    ::GetClassNameA(hwnd, className, sizeof(className));
    // Only dialogs with a system menu of their own: asking any other window would make it one.
    if (pid != ::GetCurrentProcessId() || std::string(className) != "#32770" ||
        (::GetWindowLongA(hwnd, GWL_STYLE) & WS_SYSMENU) == 0) {
        return TRUE;
    }
    HMENU menu = ::GetSystemMenu(hwnd, FALSE);
    if (menu == nullptr) return TRUE;
    char line[96];
    int length =
        std::snprintf(line, sizeof(line), "%llx close=%x,about=%x\r\n",
                      static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
                      ::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), ::GetMenuState(menu, kAboutItem, MF_BYCOMMAND));
    reinterpret_cast<File*>(param)->Write(line, length);
    return TRUE;
}

void WriteReport() {
    std::string partial = MenuStateFile(kMenuStatePartial);
    std::string report = MenuStateFile(kMenuStateReport);
    if (partial.empty()) return;
    File file(partial);
    if (!file.IsOpen()) return;
    ::EnumWindows(ReportWindow, reinterpret_cast<LPARAM>(&file));
    file.Close();
    // Renamed when complete, so a reader never sees half a report.
    ::MoveFileExA(partial.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    WriteReport();
    return FALSE;
}

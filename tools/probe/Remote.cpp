#include "tools/probe/Remote.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "tools/probe/MenuStatePath.h"

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&&) = delete;
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// A block of memory in another process, freed with its owner.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, SIZE_T size)
        : process_(process),
          address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (address_ != nullptr) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    void* Get() const { return address_; }
    explicit operator bool() const { return address_ != nullptr; }

private:
    HANDLE process_;
    void* address_;
};

Handle OpenWindowProcess(HWND window, DWORD access) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return Handle(pid != 0 ? ::OpenProcess(access, FALSE, pid) : nullptr);
}

}  // namespace

bool RemoteCharPosition(HWND control, LONG charIndex, POINT& at) {
    Handle process = OpenWindowProcess(control, PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE);
    if (!process) return false;
    RemoteMemory point(process.Get(), sizeof(POINTL));
    if (!point) return false;
    ::SendMessageA(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(point.Get()), charIndex);
    POINTL got{};
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process.Get(), point.Get(), &got, sizeof(got), &read) || read != sizeof(got)) {
        return false;
    }
    at = POINT{got.x, got.y};
    return true;
}

std::string MenuStateReportPath() { return MenuStateFile(kMenuStateReport); }

std::string RemoteSystemMenuState(HWND window, const std::string& readerPath, DWORD timeoutMs) {
    std::string report = MenuStateReportPath();
    ::DeleteFileA(report.c_str());
    Handle process = OpenWindowProcess(window, PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                                   PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE);
    if (!process) return "err cannot open the process";
    RemoteMemory path(process.Get(), readerPath.size() + 1);
    SIZE_T written = 0;
    if (!path ||
        !::WriteProcessMemory(process.Get(), path.Get(), readerPath.c_str(), readerPath.size() + 1, &written)) {
        return "err cannot write the reader's path";
    }
    // The system DLLs sit at the same address in every process of the session.
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    Handle thread(::CreateRemoteThread(process.Get(), nullptr, 0, loadLibrary, path.Get(), 0, nullptr));
    if (!thread) return "err cannot start a thread in the process";
    if (::WaitForSingleObject(thread.Get(), timeoutMs) != WAIT_OBJECT_0) return "err the reader did not finish";

    std::ifstream in(report);
    std::ostringstream wanted;
    wanted << std::hex << reinterpret_cast<UINT_PTR>(window);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string hwnd, states;
        if (fields >> hwnd >> states && hwnd == wanted.str()) return "ok " + states;
    }
    return "err no report for the window";
}

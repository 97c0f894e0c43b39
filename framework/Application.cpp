#include "framework/Application.h"

#include "framework/AnsiCodePage.h"
#include "framework/AnsiText.h"
#include "framework/Handles.h"

namespace framework {
namespace {

// The application object registers itself here; it is the program's only global.
CWinApp* g_application = nullptr;

// The module's full path, however long: a path that fills the buffer may have been cut, so the
// buffer grows until the path fits with room to spare.
std::string ModulePath(HINSTANCE instance) {
    constexpr DWORD kLongestPath = 32768;
    std::string path;
    for (DWORD size = MAX_PATH; size <= kLongestPath * 2; size *= 2) {
        path.assign(size, '\0');
        DWORD length = ::GetModuleFileNameA(instance, path.data(), size);
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return {};
}

}  // namespace

CWinApp* AfxGetApp() { return g_application; }

CWinApp::CWinApp() { g_application = this; }

CWinApp::~CWinApp() {
    if (g_application == this) {
        g_application = nullptr;
    }
}

bool CWinApp::InitInstance() { return true; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::AttachInstance(HINSTANCE instance) {
    instance_ = instance;
    appName_ = ModuleBaseName(ModulePath(instance), &IsAnsiLeadByte);
}

void CWinApp::SetRegistryKey(const char* key) { registryKey_ = key; }

std::string CWinApp::ProfileKeyPath(const char* section) const {
    return "Software\\" + registryKey_ + "\\" + appName_ + "\\" + section;
}

int CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) const {
    RegistryKey key = OpenRegistryKey(HKEY_CURRENT_USER, ProfileKeyPath(section).c_str(), KEY_QUERY_VALUE);
    if (!key) {
        return defaultValue;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

bool CWinApp::WriteProfileInt(const char* section, const char* entry, int value) const {
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, ProfileKeyPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegistryKey key(raw);
    DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExA(key.Get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
           ERROR_SUCCESS;
}

HICON CWinApp::LoadIcon(UINT id) const { return ::LoadIconA(instance_, MAKEINTRESOURCEA(id)); }

void CWinApp::BeginWaitCursor() {
    if (waitCount_++ == 0) {
        cursorBeforeWait_ = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    }
}

void CWinApp::EndWaitCursor() {
    if (waitCount_ == 0) {
        return;
    }
    if (--waitCount_ == 0) {
        ::SetCursor(cursorBeforeWait_ != nullptr ? cursorBeforeWait_ : ::LoadCursorA(nullptr, IDC_ARROW));
    }
}

int CWinApp::SuspendWaitCursor() {
    int count = waitCount_;
    if (count > 0) {
        waitCount_ = 1;
        EndWaitCursor();
    }
    return count;
}

void CWinApp::ResumeWaitCursor(int count) {
    if (count > 0) {
        BeginWaitCursor();
        waitCount_ = count;
    }
}

bool CWinApp::PumpMessage() { return PumpOneMessage(&::GetMessageA, mainWindow_); }

bool PumpOneMessage(GetMessageFunction getMessage, HWND dialog) {
    MSG msg{};
    BOOL got = getMessage(&msg, nullptr, 0, 0);
    if (got == -1) {
        // Nothing was taken: the message holds nothing to act on.
        return false;
    }
    if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (dialog == nullptr || !::IsDialogMessageA(dialog, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace framework

// The application object: the one global object of the program. It knows its module, its name (the
// program file's base name), the per-user settings key, the application icon, the wait cursor and how to
// take one message from the queue. The entry point (WinMain.cpp) runs its start-up hook.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up hook. Returning false ends the program without a message loop.
    virtual bool InitInstance();
    virtual int ExitInstance();

    // Called by the entry point before InitInstance.
    void AttachInstance(HINSTANCE instance);

    HINSTANCE Instance() const { return instance_; }
    const std::string& AppName() const { return appName_; }

    // Settings live under HKEY_CURRENT_USER\Software\<key>\<application name>\<section>.
    void SetRegistryKey(const char* key);
    int GetProfileInt(const char* section, const char* entry, int defaultValue) const;
    bool WriteProfileInt(const char* section, const char* entry, int value) const;

    HICON LoadIcon(UINT id) const;

    HWND MainWindow() const { return mainWindow_; }
    void SetMainWindow(HWND window) { mainWindow_ = window; }

    // Nested begin/end pairs; the arrow comes back when the outermost ends.
    void BeginWaitCursor();
    void EndWaitCursor();
    bool WaitCursorShown() const { return waitCount_ > 0; }
    // A modal message box shows the normal cursor; the wait cursor resumes after it.
    int SuspendWaitCursor();
    void ResumeWaitCursor(int count);

    // Takes exactly one message from the thread's queue and dispatches it (waits if none is queued).
    // False when the message was WM_QUIT, which is put back for the modal loop to see, or when no
    // message could be taken.
    bool PumpMessage();

private:
    std::string ProfileKeyPath(const char* section) const;

    HINSTANCE instance_ = nullptr;
    std::string appName_;
    std::string registryKey_;
    HWND mainWindow_ = nullptr;
    int waitCount_ = 0;
    HCURSOR cursorBeforeWait_ = nullptr;
};

// The one application object, constructed before the entry point runs.
CWinApp* AfxGetApp();

// The pump of PumpMessage over a given way of taking a message, so a test can make the take fail.
using GetMessageFunction = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
bool PumpOneMessage(GetMessageFunction getMessage, HWND dialog);

// Shows the wait cursor for the life of a scope.
class CWaitCursor {
public:
    CWaitCursor() { AfxGetApp()->BeginWaitCursor(); }
    ~CWaitCursor() { AfxGetApp()->EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace framework

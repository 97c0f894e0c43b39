#include "app/TLYN_UpdateApp.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/ProgramPath.h"
#include "framework/AnsiCodePage.h"
#include "framework/SystemLibraries.h"
#include "texts/Texts.h"
#include "ui/TLYN_UpdateDlg.h"

namespace {

// The user's temporary directory in its long form; "C:\" when either query fails. A long form that
// does not fit the buffer counts as a failed query.
std::string TemporaryDirectory() {
    char shortForm[MAX_PATH] = {};
    DWORD length = ::GetTempPathA(MAX_PATH, shortForm);
    if (length == 0 || length >= MAX_PATH) {
        return "C:\\";
    }
    char longForm[MAX_PATH] = {};
    length = ::GetLongPathNameA(shortForm, longForm, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return "C:\\";
    }
    return std::string(longForm, length);
}

}  // namespace

// The one application object.
CTLYN_UpdateApp theApp;

bool CTLYN_UpdateApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();
    // The About box's contact block is a rich edit 2.0 control.
    framework::AfxInitRichEdit2();
    SetRegistryKey(texts::kRegistryKey);

    std::string programPath = app::ProgramPathFromCommandLine(::GetCommandLineA(), &framework::IsAnsiLeadByte);

    CTLYN_UpdateDlg dialog;
    dialog.ProgramDir = app::ProgramDirectory(programPath, &framework::IsAnsiLeadByte);
    dialog.TempDir = TemporaryDirectory();
    dialog.DoModal();
    SetMainWindow(nullptr);
    return false;
}

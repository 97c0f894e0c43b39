// Entry point: hand the module to the application object and run its start-up hook. A dialog program
// does all its work inside that hook and returns false, which ends the program: there is no message
// loop of the application's own.
#include <windows.h>

#include "framework/Application.h"
#include "framework/SystemLibraries.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    framework::RestrictLibrarySearch();
    framework::CWinApp* app = framework::AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    app->AttachInstance(instance);
    app->InitInstance();
    return app->ExitInstance();
}

// The application: prepares the control libraries, names the settings key, works out where the
// program and the temporary directory are, and runs the update dialog modally.
#pragma once

#include "framework/Application.h"

class CTLYN_UpdateApp : public framework::CWinApp {
public:
    CTLYN_UpdateApp() = default;
    ~CTLYN_UpdateApp() override = default;

    bool InitInstance() override;
};

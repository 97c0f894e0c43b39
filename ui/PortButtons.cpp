// The port buttons COM1..COM22: enabled exactly for the installed ports, one of them checked (the
// port of the last successful update when it is still there, else the lowest installed one).
#include "framework/Application.h"
#include "serial/InstalledPorts.h"
#include "serial/PortNames.h"
#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"

static_assert(IDC_COM22 - IDC_COM1 + 1 == kLastPort - kFirstPort + 1, "one button per port");

void CTLYN_UpdateDlg::RefreshSerialPorts() {
    int stored = framework::AfxGetApp()->GetProfileInt(texts::kSettingsSection, texts::kComPortEntry, -1);
    FindInstalledPorts();
    EnablePortButtons();
    int port = ChooseCheckedPort(stored, PortPresent);
    // No identifier in the range matches 0, so that unchecks all 22.
    ::CheckRadioButton(GetSafeHwnd(), IDC_COM1, IDC_COM22, port > 0 ? IDC_COM1 - 1 + port : 0);
    if (port > 0 && !FirmwareFileName.empty()) {
        EnableItem(IDC_BEGIN_UPDATE, true);
    } else if (port == 0) {
        // Nothing to update through: an update without a checked port has no port to open.
        EnableItem(IDC_BEGIN_UPDATE, false);
    }
}

void CTLYN_UpdateDlg::FindInstalledPorts() {
    if (!ReadInstalledPorts(PortPresent)) {
        ShowMessage(texts::kNoSerialPorts, framework::AfxGetApp()->AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
    }
}

void CTLYN_UpdateDlg::EnablePortButtons() {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        EnableItem(IDC_COM1 - 1 + port, PortPresent[port - 1] == 1);
    }
}

// The first checked port button's port number; 0 when none is checked.
int CTLYN_UpdateDlg::CheckedPort() const {
    for (int id = IDC_COM1; id <= IDC_COM22; ++id) {
        if (::IsDlgButtonChecked(GetSafeHwnd(), id) == BST_CHECKED) {
            return id - (IDC_COM1 - 1);
        }
    }
    return 0;
}

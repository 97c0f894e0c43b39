// What the user can reach in the window while idle, armed and transferring: one row per state,
// applied wherever the update run changes state.
#include <iterator>

#include "serial/PortNames.h"
#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"

namespace {

enum class PortButtons {
    // Those of the installed ports, as FinishUpdate has left them on every way back to idle.
    AsFinishUpdateLeft,
    ChosenOnly,  // every other port's disabled; the chosen one stays as it is
};

struct ControlState {
    const char* beginLabel;  // nullptr: the label stays as it is
    bool begin;
    bool done;
    bool refresh;
    bool contact;
    bool systemMenu;  // Close and About
    PortButtons ports;
};

// Indexed by UpdateState. During the transfer the button keeps "Cancel Update" until the end.
constexpr ControlState kControlStates[] = {
    /* Idle */ {texts::kBeginUpdate, true, true, true, true, true, PortButtons::AsFinishUpdateLeft},
    /* Armed */ {texts::kCancelUpdate, true, false, false, false, false, PortButtons::ChosenOnly},
    /* Transferring */ {nullptr, false, false, false, false, false, PortButtons::ChosenOnly},
};

}  // namespace

void CTLYN_UpdateDlg::ShowState(UpdateState state) {
    static_assert(std::size(kControlStates) == static_cast<std::size_t>(UpdateState::Count), "one row per state");
    const ControlState& row = kControlStates[static_cast<int>(state)];
    if (row.beginLabel != nullptr) {
        SetItemText(IDC_BEGIN_UPDATE, row.beginLabel);
    }
    EnableItem(IDC_BEGIN_UPDATE, row.begin);
    EnableItem(IDCANCEL, row.done);
    EnableItem(IDC_REFRESH_PORTS, row.refresh);
    EnableItem(IDC_CONTACT_INFO, row.contact);
    SetSystemMenuItems(row.systemMenu);
    if (row.ports == PortButtons::AsFinishUpdateLeft) {
        return;
    }
    const int chosen = SerialPort.GetPort();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (port != chosen) {
            EnableItem(IDC_COM1 - 1 + port, false);
        }
    }
}

void CTLYN_UpdateDlg::SetSystemMenuItems(bool enabled) {
    HMENU menu = ::GetSystemMenu(GetSafeHwnd(), FALSE);
    if (menu == nullptr) {
        return;
    }
    UINT state = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(menu, SC_CLOSE, state);
    ::EnableMenuItem(menu, IDM_ABOUTBOX, state);
}

// The update window's own behaviour: what it shows at start, how it colours its status lines, its
// system menu, painting while minimised, the Enter key, Done and destruction.
#include "ui/TLYN_UpdateDlg.h"

#include <cstdlib>
#include <string>

#include "framework/Application.h"
#include "texts/Texts.h"
#include "ui/AboutDlg.h"
#include "ui/Resource.h"
#include "ui/WindowPlacement.h"

namespace {

constexpr COLORREF kStatusRed = RGB(192, 0, 0);
constexpr LONG kStatusFontTenthsOfPoint = 90;

}  // namespace

CTLYN_UpdateDlg::CTLYN_UpdateDlg(HWND parent) : CDialog(IDD_TLYN_UPDATE_DIALOG, parent) {
    m_hIcon = framework::AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CTLYN_UpdateDlg::~CTLYN_UpdateDlg() = default;

std::span<const framework::MessageMapEntry> CTLYN_UpdateDlg::GetMessageMap() const {
    using D = CTLYN_UpdateDlg;
    using framework::OnCommand;
    using framework::OnMessage;
    static const framework::MessageMapEntry kMap[] = {
        OnMessage<D>(WM_SYSCOMMAND, &D::OnSysCommand),
        OnMessage<D>(WM_PAINT, &D::OnPaint),
        OnMessage<D>(WM_QUERYDRAGICON, &D::OnQueryDragIcon),
        OnCommand<D>(BN_CLICKED, IDOK, &D::OnIdOk),
        OnCommand<D>(BN_CLICKED, IDCANCEL, &D::OnDone),
        OnCommand<D>(BN_CLICKED, IDC_BEGIN_UPDATE, &D::OnBeginUpdate),
        OnMessage<D>(WM_TIMER, &D::OnTimer),
        OnMessage<D>(WM_DESTROY, &D::OnDestroy),
        OnMessage<D>(WM_BOOTLOADER_FOUND, &D::OnBootLoaderFound),
        OnMessage<D>(WM_CANCEL_UPDATE, &D::OnCancelUpdateMessage),
        OnMessage<D>(framework::kCtlColorMessage, &D::OnCtlColor),
        OnCommand<D>(BN_CLICKED, IDC_REFRESH_PORTS, &D::RefreshSerialPorts),
        OnCommand<D>(BN_CLICKED, IDC_CONTACT_INFO, &D::OnContactInfo),
    };
    return kMap;
}

bool CTLYN_UpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HWND hwnd = GetSafeHwnd();
    framework::AfxGetApp()->SetMainWindow(hwnd);

    std::string caption = std::string(texts::kProductName) + texts::kMainCaptionSuffix;
    ::SetWindowTextA(hwnd, caption.c_str());

    if (HMENU menu = ::GetSystemMenu(hwnd, FALSE)) {
        std::string about = std::string(texts::kAboutMenuPrefix) + texts::kProductName + texts::kAboutMenuSuffix;
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    ::SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));

    PlaceInUpperQuarter(hwnd);
    CreateStatusFont();
    SetItemText(IDC_INSTRUCTIONS, texts::kInstructions);
    ResetPrompt = texts::kResetPrompt;

    bool firmwareAvailable = LoadFirmwareDescription();
    SetItemText(IDC_PRODUCT_LINE, texts::kProductLine);
    SetItemText(IDC_FIRMWARE_VERSION_LINE, (std::string(texts::kFirmwareVersionLine) + FirmwareVersion).c_str());
    SetItemText(IDC_BOOTLOADER_LINE, "");
    SetItemText(IDC_PROGRESS_LINE, "");
    SetItemText(IDC_RESULT_LINE, "");
    if (!firmwareAvailable) {
        EnableItem(IDC_BEGIN_UPDATE, false);
    }
    ::ShowWindow(Item(IDC_DETAILED_INSTRUCTIONS), SW_HIDE);
    SetItemText(IDC_SUPPORT_BOX, texts::kSupportBoxLabel);

    RefreshSerialPorts();
    UpdateRunning = 0;
    BootLoaderFound = 0;
    PollTimer = ::SetTimer(hwnd, kPollTimerId, kPollPeriodMs, nullptr);
    return true;
}

// 9 point bold, sized from the screen's vertical resolution: -12 at 96 dots per inch.
void CTLYN_UpdateDlg::CreateStatusFont() {
    LOGFONTA font{};
    font.lfWeight = FW_BOLD;
    lstrcpynA(font.lfFaceName, "Microsoft Sans Serif", LF_FACESIZE);
    framework::ScreenDC screen;
    POINT size{0, ::MulDiv(::GetDeviceCaps(screen.Get(), LOGPIXELSY), kStatusFontTenthsOfPoint, 720)};
    POINT origin{0, 0};
    ::DPtoLP(screen.Get(), &size, 1);
    ::DPtoLP(screen.Get(), &origin, 1);
    font.lfHeight = -std::abs(size.y - origin.y);
    StatusFont.Reset(::CreateFontIndirectA(&font));
}

// The product line always, the result line only while an armed update waits for the device: bold,
// dark red, on the dialog's own background.
INT_PTR CTLYN_UpdateDlg::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    INT_PTR brush = ::DefWindowProcA(GetSafeHwnd(), CurrentMessage(), wParam, lParam);
    int id = ::GetDlgCtrlID(control);
    bool status = id == IDC_PRODUCT_LINE || (id == IDC_RESULT_LINE && UpdateRunning == 1);
    if (status) {
        ::SelectObject(dc, StatusFont.Get());
        ::SetTextColor(dc, kStatusRed);
        ::SetBkMode(dc, TRANSPARENT);
    }
    if (id == IDC_PRODUCT_LINE || id == IDC_RESULT_LINE) {
        // Wine's static control selects its own font after asking for the colours, so the font
        // chosen here must also be the control's own: it takes effect for the paint under way.
        HFONT wanted = status ? static_cast<HFONT>(StatusFont.Get())
                              : reinterpret_cast<HFONT>(::SendMessageA(GetSafeHwnd(), WM_GETFONT, 0, 0));
        if (wanted != nullptr && reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)) != wanted) {
            ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(wanted), FALSE);
        }
    }
    return brush;
}

INT_PTR CTLYN_UpdateDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAboutBox();
        return TRUE;
    }
    return FALSE;
}

INT_PTR CTLYN_UpdateDlg::OnPaint(WPARAM, LPARAM) {
    HWND hwnd = GetSafeHwnd();
    if (!::IsIconic(hwnd)) {
        return FALSE;
    }
    framework::PaintScope paint(hwnd);
    ::SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
    int iconWidth = ::GetSystemMetrics(SM_CXICON);
    int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(paint.Get(), x, y, m_hIcon);
    return TRUE;
}

INT_PTR CTLYN_UpdateDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<INT_PTR>(m_hIcon); }

// Enter never closes the window.
void CTLYN_UpdateDlg::OnIdOk() { OnOK(); }

void CTLYN_UpdateDlg::OnOK() {}

bool CTLYN_UpdateDlg::UpdateInProgress() const {
    return UpdateRunning == 1 || BootLoaderFound == 1 || TransferUnderWay;
}

// Done, Escape, the caption's close button, Alt+F4 and WM_CLOSE all end here. While an update is
// armed or transferring none of them may end the dialog: the port and the device are mid-update.
void CTLYN_UpdateDlg::OnDone() {
    if (UpdateInProgress()) {
        return;
    }
    SerialPort.Close();
    ReturnPortToCompanion();
    CDialog::OnCancel();
}

// The transfer dispatches one queued message per page, and that may be any command: none may touch
// the window, the port or the dialog's life until the transfer and its outcome box are over.
bool CTLYN_UpdateDlg::TakesCommands() const { return !TransferUnderWay; }

INT_PTR CTLYN_UpdateDlg::OnDestroy(WPARAM, LPARAM) {
    if (PollTimer != 0) {
        ::KillTimer(GetSafeHwnd(), kPollTimerId);
        PollTimer = 0;
    }
    EndUpdate(UpdateEnding::WindowDestroyed);
    return FALSE;
}

void CTLYN_UpdateDlg::OnContactInfo() { ShowAboutBox(); }

void CTLYN_UpdateDlg::ShowAboutBox() {
    // Both routes are locked while an update runs; a synthesised command must not open it either.
    if (UpdateInProgress()) {
        return;
    }
    CAboutDlg about;
    about.DoModal();
}

#include "ui/AboutDlg.h"

#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include <string>

#include "framework/AnsiCodePage.h"
#include "texts/Texts.h"
#include "ui/LinkTarget.h"
#include "ui/Resource.h"
#include "ui/WindowPlacement.h"

namespace {

// Longer link texts than this are not ours; the range comes from the control, not from us.
constexpr LONG kLongestLink = 512;

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

std::span<const framework::MessageMapEntry> CAboutDlg::GetMessageMap() const {
    using D = CAboutDlg;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnNotify<D>(EN_LINK, IDC_ABOUT_CONTACT, &D::OnLink),
        framework::OnCommand<D>(EN_SETFOCUS, IDC_ABOUT_CONTACT, &D::OnContactFocus),
    };
    return kMap;
}

bool CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HWND hwnd = GetSafeHwnd();
    PlaceInUpperQuarter(hwnd);
    std::string caption = std::string(texts::kAboutCaptionPrefix) + texts::kProductName + texts::kAppCaptionSuffix;
    ::SetWindowTextA(hwnd, caption.c_str());
    SetItemText(IDC_ABOUT_TITLE, texts::kAboutTitle);
    SetItemText(IDC_ABOUT_VERSION, texts::kAboutVersion);
    SetItemText(IDC_ABOUT_RELEASED, texts::kAboutReleased);
    SetItemText(IDC_ABOUT_COPYRIGHT, texts::kAboutCopyright);
    SetItemText(IDC_ABOUT_PURPOSE, texts::kAboutPurpose);
    FillContactBlock();
    return true;
}

void CAboutDlg::FillContactBlock() {
    HWND contact = Item(IDC_ABOUT_CONTACT);
    ::SendMessageA(contact, EM_AUTOURLDETECT, TRUE, 0);
    LRESULT mask = ::SendMessageA(contact, EM_GETEVENTMASK, 0, 0);
    ::SendMessageA(contact, EM_SETEVENTMASK, 0, mask | ENM_LINK);
    // The block is created transparent; the rich edit under Wine paints white regardless, so it
    // gets the dialog's own colour.
    ::SendMessageA(contact, EM_SETBKGNDCOLOR, 0, ::GetSysColor(COLOR_3DFACE));
    const std::string lines[] = {
        std::string(texts::kSupportPhone) + "\n",
        std::string(texts::kSupportFax) + "\n",
        std::string("mailto:") + texts::kSupportEmail + "\n",
        std::string(texts::kSupportWeb) + "\n",
        std::string(texts::kSupportHours) + "\n",
        std::string(texts::kSupportStreet) + "\n",
        std::string(texts::kSupportPostBox) + "\n",
        std::string(texts::kSupportTown),
    };
    // One line at a time, each at the very end: given all eight in one replacement, the rich edit
    // under Wine marks only the links near the end.
    for (const std::string& line : lines) {
        CHARRANGE end{0x7FFFFFFF, 0x7FFFFFFF};
        ::SendMessageA(contact, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        ::SendMessageA(contact, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    }
}

// Only the left button going down over a link opens it.
INT_PTR CAboutDlg::OnLink(WPARAM, LPARAM lParam) {
    const auto* link = reinterpret_cast<const ENLINK*>(lParam);
    if (link->msg != WM_LBUTTONDOWN) {
        return 0;
    }
    LONG length = link->chrg.cpMax - link->chrg.cpMin;
    if (length <= 0 || length > kLongestLink) {
        return 0;
    }
    // The range counts characters; in ANSI a double-byte character takes two bytes.
    const size_t room = 2 * static_cast<size_t>(length);
    std::string text(room + 1, '\0');
    TEXTRANGEA range{link->chrg, text.data()};
    LRESULT copied = ::SendMessageA(Item(IDC_ABOUT_CONTACT), EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(copied > 0 && static_cast<size_t>(copied) <= room ? static_cast<size_t>(copied) : 0);
    std::string target = ui::LinkTarget(text, &framework::IsAnsiLeadByte);
    if (!target.empty()) {
        ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    return 0;
}

// The contact block never keeps the focus or shows a caret; its links still take the mouse.
void CAboutDlg::OnContactFocus() {
    ::SendMessageA(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDOK)), TRUE);
}

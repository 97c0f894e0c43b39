#include "framework/Dialog.h"

#include "framework/Application.h"

#include <utility>

namespace framework {
namespace {

bool IsCtlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    HWND owner = parent_ != nullptr ? parent_ : AfxGetApp()->MainWindow();
    return ::DialogBoxParamA(AfxGetApp()->Instance(), MAKEINTRESOURCEA(templateId_), owner, &CDialog::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool CDialog::OnInitDialog() { return true; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

std::span<const MessageMapEntry> CDialog::GetMessageMap() const { return {}; }

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

int CDialog::ShowMessage(const char* text, const char* caption, UINT type) const {
    CWinApp* app = AfxGetApp();
    int waiting = app->SuspendWaitCursor();
    int answer = ::MessageBoxA(hwnd_, text, caption, type);
    app->ResumeWaitCursor(waiting);
    return answer;
}

const MessageMapEntry* CDialog::Find(UINT message, UINT code, UINT id) const {
    bool withControl = message == WM_COMMAND || message == WM_NOTIFY;
    for (const MessageMapEntry& entry : GetMessageMap()) {
        if (entry.message == message && (!withControl || (entry.code == code && entry.id == id))) {
            return &entry;
        }
    }
    return nullptr;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    // Handlers may run nested (a modal box inside a handler); each sees its own message.
    UINT outer = std::exchange(currentMessage_, message);
    INT_PTR result = Route(message, wParam, lParam);
    currentMessage_ = outer;
    return result;
}

INT_PTR CDialog::Route(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETCURSOR && AfxGetApp()->WaitCursorShown()) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        if (!TakesCommands()) {
            return TRUE;
        }
        UINT code = HIWORD(wParam);
        UINT id = LOWORD(wParam);
        // An accelerator's command (code 1, no control) is a press of the button it names.
        if (code == 1 && lParam == 0) {
            code = BN_CLICKED;
        }
        if (const MessageMapEntry* entry = Find(WM_COMMAND, code, id)) {
            (this->*entry->onCommand)();
            return TRUE;
        }
        // Enter and Escape reach the hooks of a dialog that has no handler of its own for them. Only a
        // press does: a control numbered 1 or 2 that sends another notification ends no dialog.
        if (code == BN_CLICKED && id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (code == BN_CLICKED && id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (const MessageMapEntry* entry = Find(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom))) {
            ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, (this->*entry->onMessage)(wParam, lParam));
            return TRUE;
        }
        return FALSE;
    }
    UINT key = IsCtlColor(message) ? kCtlColorMessage : message;
    if (const MessageMapEntry* entry = Find(key, 0, 0)) {
        return (this->*entry->onMessage)(wParam, lParam);
    }
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
        return dialog->OnInitDialog() ? TRUE : FALSE;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    INT_PTR result = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        dialog->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace framework

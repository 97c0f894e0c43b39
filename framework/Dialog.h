// Modal dialogs built from a resource template and bound to their handlers by a static table of
// {message, notification code, control identifier, handler}. The base walks the table; a derived
// dialog lists its entries with OnMessage / OnCommand / OnNotify.
#pragma once

#include <windows.h>

#include <span>

namespace framework {

class CDialog;

// Message handlers get the raw parameters and return the dialog procedure's result: FALSE lets the
// default dialog processing run, which is how a handler "passes a message on to the base".
using MessageHandler = INT_PTR (CDialog::*)(WPARAM, LPARAM);
// Button and other command notifications.
using CommandHandler = void (CDialog::*)();

// WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC all reach one handler under this message, as one colour rule
// serves every kind of control.
inline constexpr UINT kCtlColorMessage = 0x0019;  // the one WM_CTLCOLOR of old

struct MessageMapEntry {
    UINT message;  // WM_COMMAND and WM_NOTIFY entries match code and id as well
    UINT code;     // notification code
    UINT id;       // control identifier
    MessageHandler onMessage;
    CommandHandler onCommand;
};

template <class D>
constexpr MessageMapEntry OnMessage(UINT message, INT_PTR (D::*handler)(WPARAM, LPARAM)) {
    return {message, 0, 0, static_cast<MessageHandler>(handler), nullptr};
}

template <class D>
constexpr MessageMapEntry OnCommand(UINT code, UINT id, void (D::*handler)()) {
    return {WM_COMMAND, code, id, nullptr, static_cast<CommandHandler>(handler)};
}

// The handler's result becomes the notification's result (DWLP_MSGRESULT).
template <class D>
constexpr MessageMapEntry OnNotify(UINT code, UINT id, INT_PTR (D::*handler)(WPARAM, LPARAM)) {
    return {WM_NOTIFY, code, id, static_cast<MessageHandler>(handler), nullptr};
}

class CDialog {
public:
    // With no parent, the application's main window owns the dialog while it runs.
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    HWND GetSafeHwnd() const { return hwnd_; }

protected:
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual std::span<const MessageMapEntry> GetMessageMap() const;
    // While false, every command that reaches the dialog is dropped unhandled: a handler that holds
    // the thread and dispatches queued messages itself must not have its dialog changed under it.
    virtual bool TakesCommands() const { return true; }

    void EndDialog(INT_PTR result);
    // The message being handled, as the window received it (a colour handler needs its exact kind).
    UINT CurrentMessage() const { return currentMessage_; }

    // The small set of window operations the dialogs use, by control identifier.
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    void SetItemText(int id, const char* text) const { ::SetDlgItemTextA(hwnd_, id, text); }
    void EnableItem(int id, bool enable) const { ::EnableWindow(Item(id), enable ? TRUE : FALSE); }
    // A modal box owned by the dialog; the wait cursor gives way to the arrow while it is open.
    int ShowMessage(const char* text, const char* caption, UINT type) const;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Route(UINT message, WPARAM wParam, LPARAM lParam);
    const MessageMapEntry* Find(UINT message, UINT code, UINT id) const;

    UINT templateId_;
    HWND parent_;
    HWND hwnd_ = nullptr;
    UINT currentMessage_ = 0;
};

}  // namespace framework

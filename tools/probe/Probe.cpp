// The test probe: a Windows process on the program's desktop that reads one command per line on its
// standard input and answers one line on its standard output ("ok ..." or "err ..."). End-to-end
// tests drive and read the real program through it, as a user's hands and eyes would.
// Texts in answers are percent-encoded (bytes outside '!'..'~', and '%', ',', ';', '=').
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/probe/Registry.h"

namespace {

std::string Encode(const std::string& text) { return EncodeText(text); }
std::string Decode(const std::string& text) { return DecodeText(text); }

std::string WindowText(HWND hwnd) {
    // WM_GETTEXT works across processes for any window, unlike GetWindowText on controls.
    LRESULT length = ::SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = ::SendMessageA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[128] = {};
    ::GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

struct Probe {
    HWND main = nullptr;

    bool WaitFor(auto found, DWORD timeoutMs) {
        DWORD start = ::GetTickCount();
        for (;;) {
            if (found()) {
                return true;
            }
            if (::GetTickCount() - start >= timeoutMs) {
                return false;
            }
            ::Sleep(20);
        }
    }

    // A message box or other dialog of the program's process, other than the main window.
    HWND FindOtherDialog(bool wantMessageBox) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(main, &pid);
        struct Search {
            DWORD pid;
            HWND main;
            bool wantMessageBox;
            HWND found;
        } search{pid, main, wantMessageBox, nullptr};
        ::EnumWindows(
            [](HWND hwnd, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(hwnd, &owner);
                if (owner != s->pid || hwnd == s->main || !::IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770") {
                    return TRUE;
                }
                bool isMessageBox = ::GetDlgItem(hwnd, 0xFFFF) != nullptr;
                if (isMessageBox == s->wantMessageBox) {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    std::string ControlState(HWND control) {
        HWND parent = ::GetParent(control);
        RECT rect{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        std::ostringstream out;
        out << "id=" << ::GetDlgCtrlID(control) << ",class=" << Encode(ClassOf(control))
            << ",style=" << std::hex << ::GetWindowLongA(control, GWL_STYLE) << std::dec
            << ",exstyle=" << std::hex << ::GetWindowLongA(control, GWL_EXSTYLE) << std::dec
            << ",enabled=" << (::IsWindowEnabled(control) ? 1 : 0) << ",visible=" << (::IsWindowVisible(control) ? 1 : 0)
            << ",checked=" << ::SendMessageA(control, BM_GETCHECK, 0, 0) << ",rect=" << rect.left << ":" << rect.top
            << ":" << rect.right << ":" << rect.bottom << ",text=" << Encode(WindowText(control));
        return out.str();
    }

    // Dialog units to pixels for the program's dialog font, measured on a dialog of our own with the
    // same font, as the platform maps them.
    RECT MapDialogUnits(RECT rect) {
        struct {
            DLGTEMPLATE head;
            WORD menu, cls, title;
            WORD pointSize;
            WCHAR face[13];
        } tmpl{};
        tmpl.head.style = DS_SETFONT | WS_POPUP;
        tmpl.head.cx = 10;
        tmpl.head.cy = 10;
        tmpl.pointSize = 8;
        const wchar_t face[] = L"MS Shell Dlg";
        for (int i = 0; i < 12; ++i) tmpl.face[i] = face[i];
        HWND dialog = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), &tmpl.head, nullptr,
                                                   [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ::MapDialogRect(dialog, &rect);
        ::DestroyWindow(dialog);
        return rect;
    }

    std::string Run(const std::string& line) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        auto rest = [&]() {
            std::string r;
            std::getline(in, r);
            if (!r.empty() && r[0] == ' ') r.erase(0, 1);
            return r;
        };
        if (command == "wait-window") {
            DWORD timeout = 0;
            in >> timeout;
            std::string caption = Decode(rest());
            HWND found = nullptr;
            bool ok = WaitFor([&] { return (found = ::FindWindowA(nullptr, caption.c_str())) != nullptr; }, timeout);
            if (!ok) return "err no window";
            main = found;
            return "ok";
        }
        if (command == "gone") {  // the main window has ended
            DWORD timeout = 0;
            in >> timeout;
            return WaitFor([&] { return !::IsWindow(main); }, timeout) ? "ok" : "err still there";
        }
        if (std::string answer; RegistryCommand(command, in, answer)) return answer;
        if (main == nullptr || !::IsWindow(main)) return "err no main window";
        if (command == "caption") return "ok " + Encode(WindowText(main));
        if (command == "window-rect") {
            RECT r{};
            ::GetWindowRect(main, &r);
            std::ostringstream out;
            out << "ok " << r.left << ":" << r.top << ":" << r.right << ":" << r.bottom << " screen="
                << ::GetSystemMetrics(SM_CXSCREEN) << ":" << ::GetSystemMetrics(SM_CYSCREEN);
            return out.str();
        }
        if (command == "text") {
            int id = 0;
            in >> id;
            HWND control = ::GetDlgItem(main, id);
            return control ? "ok " + Encode(WindowText(control)) : "err no control";
        }
        if (command == "state") {
            int id = 0;
            in >> id;
            HWND control = ::GetDlgItem(main, id);
            return control ? "ok " + ControlState(control) : "err no control";
        }
        if (command == "controls") {  // every child in creation (template) order
            std::string out = "ok ";
            for (HWND c = ::GetWindow(main, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
                out += ControlState(c) + ";";
            }
            return out;
        }
        if (command == "dlu") {
            RECT r{};
            in >> r.left >> r.top >> r.right >> r.bottom;
            r.right += r.left;
            r.bottom += r.top;
            r = MapDialogUnits(r);
            std::ostringstream out;
            out << "ok " << r.left << ":" << r.top << ":" << r.right << ":" << r.bottom;
            return out.str();
        }
        if (command == "click") {  // the control's command, as the button would send it
            int id = 0;
            in >> id;
            ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(main, id)));
            return "ok";
        }
        if (command == "press") {  // a click on the button itself: nothing happens when it is disabled
            int id = 0;
            in >> id;
            HWND control = ::GetDlgItem(main, id);
            if (!control) return "err no control";
            if (!::IsWindowEnabled(control)) return "ok disabled";
            ::PostMessageA(control, BM_CLICK, 0, 0);
            return "ok";
        }
        if (command == "post") {  // post <message> <wParam> <lParam> to the main window
            unsigned message = 0;
            unsigned long long wParam = 0;
            long long lParam = 0;
            in >> message >> wParam >> lParam;
            ::PostMessageA(main, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
            return "ok";
        }
        if (command == "key") {  // a key pressed and released in the dialog, through its own loop
            unsigned vk = 0;
            in >> vk;
            HWND target = ::GetWindow(main, GW_CHILD);
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            if (::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &info) && info.hwndFocus) {
                target = info.hwndFocus;
            }
            ::PostMessageA(target, WM_KEYDOWN, vk, 1);
            ::PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
            return "ok";
        }
        if (command == "focus") {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &info)) return "err no thread info";
            return "ok " + std::to_string(info.hwndFocus ? ::GetDlgCtrlID(info.hwndFocus) : 0);
        }
        if (command == "msgbox") {  // wait for a message box of the program; caption, text, icon
            DWORD timeout = 0;
            in >> timeout;
            HWND box = nullptr;
            if (!WaitFor([&] { return (box = FindOtherDialog(true)) != nullptr; }, timeout)) return "err no message box";
            HWND icon = ::GetDlgItem(box, 0x14);
            bool hasIcon = icon && ::IsWindowVisible(icon) && ::SendMessageA(icon, STM_GETICON, 0, 0) != 0;
            return "ok caption=" + Encode(WindowText(box)) + ",text=" + Encode(WindowText(::GetDlgItem(box, 0xFFFF))) +
                   ",icon=" + (hasIcon ? "1" : "0");
        }
        if (command == "msgbox-ok") {
            HWND box = FindOtherDialog(true);
            if (!box) return "err no message box";
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            return WaitFor([&] { return !::IsWindow(box); }, 5000) ? "ok" : "err box stays";
        }
        if (command == "no-msgbox") {  // no message box comes up within the time
            DWORD timeout = 0;
            in >> timeout;
            return WaitFor([&] { return FindOtherDialog(true) != nullptr; }, timeout) ? "err message box" : "ok";
        }
        return "err unknown command";
    }
};

}  // namespace

int main() {
    Probe probe;
    std::string line;
    std::cout << "ok ready" << std::endl;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "quit") break;
        std::cout << probe.Run(line) << std::endl;
    }
    return 0;
}

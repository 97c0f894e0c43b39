// The test probe: a Windows process on the program's desktop that reads one command per line on its
// standard input and answers one line on its standard output ("ok ..." or "err ..."). End-to-end
// tests drive and read the real program through it, as a user's hands and eyes would.
// Texts in answers are percent-encoded (bytes outside '!'..'~', and '%', ',', ';', '=').
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/probe/Input.h"
#include "tools/probe/Registry.h"
#include "tools/probe/Remote.h"
#include "tools/probe/TextCoding.h"

namespace {

std::string Encode(const std::string& text) { return probe::EncodeText(text); }
std::string Decode(const std::string& text) { return probe::DecodeText(text); }

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
    HandInput hand;

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

    // True once the main window's thread has taken a sent message (within five seconds).
    bool TakesMessage() const {
        DWORD_PTR ignored = 0;
        return ::SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored) != 0;
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

    // Which standard icon a message box shows: "none", or the standard icon whose image equals what
    // the box's icon control shows on the screen (icon handles of another process can't be drawn here).
    static std::string MessageBoxIcon(HWND box) {
        HWND iconControl = nullptr;
        for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            if (ClassOf(c) == "Static" && (::GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                ::IsWindowVisible(c) && ::SendMessageA(c, STM_GETICON, 0, 0) != 0) {
                iconControl = c;
            }
        }
        if (!iconControl) return "none";
        ::SetForegroundWindow(box);
        ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        ::Sleep(200);
        RECT rect{};
        ::GetWindowRect(iconControl, &rect);
        Image shown = Image::FromScreen(rect.left, rect.top);
        const struct {
            LPCSTR id;
            const char* name;
        } kStandard[] = {{IDI_EXCLAMATION, "exclamation"},
                         {IDI_ASTERISK, "information"},
                         {IDI_HAND, "error"},
                         {IDI_QUESTION, "question"}};
        for (const auto& standard : kStandard) {
            if (Image::FromIcon(::LoadIconA(nullptr, standard.id), shown.Pixel(0, 0)).bits == shown.bits) {
                return standard.name;
            }
        }
        return "other";
    }

    // 32 x 32 pixels, 32 bits each.
    struct Image {
        std::string bits;

        COLORREF Pixel(int x, int y) const {
            if (bits.size() < 32 * 32 * 4) return 0;
            const unsigned char* p = reinterpret_cast<const unsigned char*>(bits.data()) + ((31 - y) * 32 + x) * 4;
            return RGB(p[2], p[1], p[0]);
        }

        template <class Paint>
        static Image Draw(Paint paint) {
            HDC screen = ::GetDC(nullptr);
            HDC dc = ::CreateCompatibleDC(screen);
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = 32;
            info.bmiHeader.biHeight = 32;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            void* bits = nullptr;
            HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            Image image;
            if (bitmap && bits) {
                HGDIOBJ old = ::SelectObject(dc, bitmap);
                paint(dc, screen);
                ::GdiFlush();
                image.bits.assign(static_cast<const char*>(bits), 32 * 32 * 4);
                for (size_t i = 3; i < image.bits.size(); i += 4) image.bits[i] = 0;
                ::SelectObject(dc, old);
                ::DeleteObject(bitmap);
            }
            ::DeleteDC(dc);
            ::ReleaseDC(nullptr, screen);
            return image;
        }

        static Image FromScreen(int x, int y) {
            return Draw([&](HDC dc, HDC screen) { ::BitBlt(dc, 0, 0, 32, 32, screen, x, y, SRCCOPY); });
        }

        static Image FromIcon(HICON icon, COLORREF background) {
            return Draw([&](HDC dc, HDC) {
                HBRUSH brush = ::CreateSolidBrush(background);
                RECT all{0, 0, 32, 32};
                ::FillRect(dc, &all, brush);
                ::DeleteObject(brush);
                ::DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
            });
        }
    };

    std::string ControlState(HWND control) {
        HWND parent = ::GetParent(control);
        RECT rect{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        std::ostringstream out;
        out << "id=" << ::GetDlgCtrlID(control) << ",class=" << Encode(ClassOf(control)) << ",style=" << std::hex
            << ::GetWindowLongA(control, GWL_STYLE) << std::dec << ",exstyle=" << std::hex
            << ::GetWindowLongA(control, GWL_EXSTYLE) << std::dec << ",enabled=" << (::IsWindowEnabled(control) ? 1 : 0)
            << ",visible=" << (::IsWindowVisible(control) ? 1 : 0)
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
        HWND dialog = ::CreateDialogIndirectParamW(
            ::GetModuleHandleW(nullptr), &tmpl.head, nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ::MapDialogRect(dialog, &rect);
        ::DestroyWindow(dialog);
        return rect;
    }

    // What the dialog font "MS Shell Dlg" 8 pt resolves to on this desktop: the face, the cell
    // height, the average character width, and the dialog base units (4 x 8 dialog units mapped).
    // Every layout in pixels depends on these, so the bed checks them before any test runs.
    std::string DialogFont() {
        HDC screen = ::GetDC(nullptr);
        if (screen == nullptr) return "err no screen";
        const int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
        HFONT font = ::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Shell Dlg");
        std::string answer = "err no font";
        if (font != nullptr) {
            HGDIOBJ old = ::SelectObject(screen, font);
            // The face name as requested stays "MS Shell Dlg"; the outline's family is what draws.
            std::string face = "<no outline>";
            if (UINT size = ::GetOutlineTextMetricsA(screen, 0, nullptr); size >= sizeof(OUTLINETEXTMETRICA)) {
                std::vector<char> buffer(size);
                auto* outline = reinterpret_cast<OUTLINETEXTMETRICA*>(buffer.data());
                if (::GetOutlineTextMetricsA(screen, size, outline) != 0) {
                    face = buffer.data() + reinterpret_cast<std::uintptr_t>(outline->otmpFamilyName);
                }
            }
            TEXTMETRICA metrics{};
            ::GetTextMetricsA(screen, &metrics);
            ::SelectObject(screen, old);
            ::DeleteObject(font);
            RECT base = MapDialogUnits(RECT{0, 0, 4, 8});
            std::ostringstream out;
            out << "ok face=" << Encode(face) << ",height=" << metrics.tmHeight << ",average=" << metrics.tmAveCharWidth
                << ",base=" << base.right << ":" << base.bottom;
            answer = out.str();
        }
        ::ReleaseDC(nullptr, screen);
        return answer;
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
        if (command == "windows") {  // every top-level window with the caption, front to back
            std::string caption = Decode(rest());
            std::string handles;
            for (HWND w = ::FindWindowA(nullptr, caption.c_str()); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
                if (WindowText(w) != caption) continue;
                if (!handles.empty()) handles += ",";
                handles += std::to_string(reinterpret_cast<std::uintptr_t>(w));
            }
            return "ok " + handles;
        }
        if (command == "use-window") {  // one of those windows is the main window from now on
            unsigned long long handle = 0;
            in >> handle;
            HWND w = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
            if (!::IsWindow(w)) return "err no window";
            main = w;
            return "ok";
        }
        if (command == "gone") {  // the main window has ended
            DWORD timeout = 0;
            in >> timeout;
            return WaitFor([&] { return !::IsWindow(main); }, timeout) ? "ok" : "err still there";
        }
        if (command == "dialog-font") return DialogFont();
        // The ANSI code page this process got from its locale: the program started the same way gets it too.
        if (command == "code-page") return "ok " + std::to_string(::GetACP());
        if (std::string answer; RegistryCommand(command, in, answer)) return answer;
        if (main == nullptr || !::IsWindow(main)) return "err no main window";
        if (command == "wait-dialog") {  // a dialog of the program other than a message box
            DWORD timeout = 0;
            in >> timeout;
            HWND dialog = nullptr;
            if (!WaitFor([&] { return (dialog = FindOtherDialog(false)) != nullptr; }, timeout)) return "err no dialog";
            return "ok caption=" + Encode(WindowText(dialog)) +
                   ",owned=" + (::GetWindow(dialog, GW_OWNER) == main ? "1" : "0") +
                   ",main-enabled=" + (::IsWindowEnabled(main) ? "1" : "0");
        }
        if (command == "no-dialog") {  // no such dialog is left within the time
            DWORD timeout = 0;
            in >> timeout;
            return WaitFor([&] { return FindOtherDialog(false) == nullptr; }, timeout) ? "ok" : "err dialog stays";
        }
        if (command.rfind("dialog-", 0) == 0) {  // any command of the main window, on that dialog
            HWND dialog = FindOtherDialog(false);
            if (dialog == nullptr) return "err no dialog";
            HWND saved = std::exchange(main, dialog);
            std::string answer = Run(command.substr(7) + " " + rest());
            main = saved;
            return answer;
        }
        if (command == "redraw") {  // everything painted before a screenshot
            ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            ::Sleep(300);
            return "ok";
        }
        if (command == "caption") return "ok " + Encode(WindowText(main));
        if (command == "window-rect") {
            RECT r{};
            ::GetWindowRect(main, &r);
            std::ostringstream out;
            out << "ok " << r.left << ":" << r.top << ":" << r.right << ":" << r.bottom
                << " screen=" << ::GetSystemMetrics(SM_CXSCREEN) << ":" << ::GetSystemMetrics(SM_CYSCREEN);
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
        if (command == "dlu") {  // dlu x y cx cy: where a template control lands, in client pixels
            RECT r{};
            in >> r.left >> r.top >> r.right >> r.bottom;
            // A dialog maps a control's origin and its size each on its own, so the far edge is
            // the mapped origin plus the mapped size, not the mapped far edge.
            r = MapDialogUnits(r);
            r.right += r.left;
            r.bottom += r.top;
            std::ostringstream out;
            out << "ok " << r.left << ":" << r.top << ":" << r.right << ":" << r.bottom;
            return out.str();
        }
        if (command == "click") {  // the control's command, as the button would send it
            int id = 0;
            in >> id;
            ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(main, id)));
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
            if (!WaitFor([&] { return (box = FindOtherDialog(true)) != nullptr; }, timeout))
                return "err no message box";
            return "ok caption=" + Encode(WindowText(box)) + ",text=" + Encode(WindowText(::GetDlgItem(box, 0xFFFF))) +
                   ",icon=" + MessageBoxIcon(box);
        }
        if (command == "click-msgbox") {  // the click, then the milliseconds until a message box shows
            int id = 0;
            DWORD timeout = 0;
            in >> id >> timeout;
            const DWORD start = ::GetTickCount();
            ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(main, id)));
            if (!WaitFor([&] { return FindOtherDialog(true) != nullptr; }, timeout)) return "err no message box";
            return "ok " + std::to_string(::GetTickCount() - start);
        }
        if (command == "msgbox-ok") {
            HWND box = FindOtherDialog(true);
            if (!box) return "err no message box";
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            if (!WaitFor([&] { return !::IsWindow(box); }, 5000)) return "err box stays";
            // The program has acted on the answer once its thread takes a message again.
            return !::IsWindow(main) || TakesMessage() ? "ok" : "err program busy";
        }
        // The program's thread has taken two sent messages: whatever its start shows is up (a modal
        // loop shows its box the first time it finds no message).
        if (command == "settled") return TakesMessage() && TakesMessage() ? "ok" : "err program busy";
        if (command == "no-msgbox") {  // no message box comes up within the time
            DWORD timeout = 0;
            in >> timeout;
            return WaitFor([&] { return FindOtherDialog(true) != nullptr; }, timeout) ? "err message box" : "ok";
        }
        if (std::string answer; WindowCommand(command, in, answer)) return answer;
        return "err unknown command";
    }

    // The screen point of the middle of a character of a rich edit control: character `offset` of
    // line `line`. Says whether that point is over the control, as a click there would find.
    std::string CharPoint(HWND control, int line, int offset) {
        LRESULT first = ::SendMessageA(control, EM_LINEINDEX, line, 0);
        if (first < 0) return "err no such line";
        // The line's height from its neighbour: the one below, or for the last line the one above.
        LRESULT below = ::SendMessageA(control, EM_LINEINDEX, line + 1, 0);
        LRESULT neighbour = below >= 0 ? below : line > 0 ? ::SendMessageA(control, EM_LINEINDEX, line - 1, 0) : -1;
        POINT at{}, next{}, other{};
        if (neighbour < 0 || !RemoteCharPosition(control, static_cast<LONG>(first + offset), at) ||
            !RemoteCharPosition(control, static_cast<LONG>(first + offset + 1), next) ||
            !RemoteCharPosition(control, static_cast<LONG>(neighbour), other) || other.y == at.y) {
            return "err no character position";
        }
        POINT middle{(at.x + next.x) / 2, at.y + std::abs(other.y - at.y) / 2};
        ::ClientToScreen(control, &middle);
        std::ostringstream out;
        out << "ok " << middle.x << ":" << middle.y << " over=" << (::WindowFromPoint(middle) == control ? 1 : 0);
        return out.str();
    }

    std::string ReaderPath() {
        char path[MAX_PATH] = {};
        DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string dir(path, length);
        size_t slash = dir.find_last_of("\\/");
        return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + "tlyn_menustate.dll";
    }

    // Commands about other windows of the program, the hand's input and the system menu.
    bool WindowCommand(const std::string& command, std::istream& in, std::string& answer) {
        if (command == "focus-in") {  // the focused control when it is in this window, else "outside"
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &info)) {
                answer = "err no thread info";
            } else if (info.hwndFocus == main) {
                answer = "ok 0";
            } else if (info.hwndFocus != nullptr && ::GetParent(info.hwndFocus) == main) {
                answer = "ok " + std::to_string(::GetDlgCtrlID(info.hwndFocus));
            } else {
                answer = "ok outside";
            }
        } else if (command == "enabled") {
            answer = ::IsWindowEnabled(main) ? "ok 1" : "ok 0";
        } else if (command == "client-size") {
            RECT client{};
            ::GetClientRect(main, &client);
            answer = "ok " + std::to_string(client.right) + ":" + std::to_string(client.bottom);
        } else if (command == "client-origin") {
            POINT origin{0, 0};
            ::ClientToScreen(main, &origin);
            answer = "ok " + std::to_string(origin.x) + ":" + std::to_string(origin.y);
        } else if (command == "char-point") {
            int id = 0, line = 0, offset = 0;
            in >> id >> line >> offset;
            HWND control = ::GetDlgItem(main, id);
            answer = control ? CharPoint(control, line, offset) : "err no control";
        } else if (command == "mouse-click" || command == "mouse-release") {
            POINT at{};
            in >> at.x >> at.y;
            bool done = command == "mouse-click" ? hand.Click(at) : hand.ReleaseOnly(at);
            answer = done ? "ok" : "err the cursor did not get there";
        } else if (command == "keys") {  // keys 18+115: Alt+F4, pressed in order, released in reverse
            std::string chord;
            in >> chord;
            std::vector<WORD> keys;
            std::istringstream list(chord);
            for (std::string key; std::getline(list, key, '+');) {
                keys.push_back(static_cast<WORD>(std::strtoul(key.c_str(), nullptr, 10)));
            }
            answer = keys.empty() ? "err no keys" : hand.Chord(main, keys);
        } else if (command == "menu-state") {
            answer = RemoteSystemMenuState(main, ReaderPath(), 15000);
        } else {
            return false;
        }
        return true;
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

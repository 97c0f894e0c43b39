// Stand-in for the maker's serial test program, for end-to-end tests of the port hand-over.
//
//   tlyn_companion [--title TEXT] [--port N] [--log FILE] [--ignore-release] [--hidden]
//
// Shows a small top-level window titled TEXT (default "Vostrel Serial Test Program"), hidden with
// --hidden. Opens COM N exclusively at start and holds it; on the hand-over message it closes the
// port when asked to release that port (unless --ignore-release) and opens it again when asked to
// take it back. Ends on WM_CLOSE. Each event is one line appended to FILE, written at once, so a
// test can follow it while the program runs:
//
//   open COM8 ok | open COM8 failed   an attempt to open the port
//   ready                             the window exists (visible unless --hidden)
//   handover 1001 8                   a hand-over message arrived: wParam, lParam
//   close COM8                        the port was closed
//   exit                              the window is gone
//
// Exit code 0, or 2 when the command line can't be understood.
#include <windows.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "serial/CompanionWindows.h"
#include "serial/RS232.h"
#include "framework/Handles.h"
#include "texts/Texts.h"

namespace {

constexpr char kWindowClass[] = "TlynCompanionWindow";

struct Options {
    std::string title = texts::kCompanionTitle2;
    int port = 0;  // 0: hold no port
    std::string logPath;
    bool ignoreRelease = false;
    bool hidden = false;
};

bool ParseNumber(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ignore-release") {
            options.ignoreRelease = true;
        } else if (arg == "--hidden") {
            options.hidden = true;
        } else if (arg == "--title" && hasValue) {
            options.title = argv[++i];
        } else if (arg == "--log" && hasValue) {
            options.logPath = argv[++i];
        } else if (arg == "--port" && hasValue) {
            if (!ParseNumber(argv[++i], options.port) || options.port < 1) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Appends whole lines; every line is one write, so a reader never sees half of one.
class EventLog {
public:
    void Open(const std::string& path) {
        if (path.empty()) return;
        m_file.Reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    void Line(const char* text) {
        if (!m_file.IsValid()) return;
        std::string line = text;
        line += '\n';
        DWORD written = 0;
        WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

private:
    framework::FileHandle m_file;
};

class Companion {
public:
    explicit Companion(Options options) : m_options(std::move(options)) { m_log.Open(m_options.logPath); }

    void OpenPort() {
        if (m_options.port == 0 || m_port.GetPort() != -1) return;
        const bool opened = m_port.Open(m_options.port, 38400, 'N', 8, 1);
        Log(opened ? "open COM%d ok" : "open COM%d failed", m_options.port);
    }

    void ClosePort() {
        if (m_port.GetPort() == -1) return;
        m_port.Close();
        Log("close COM%d", m_options.port);
    }

    void OnHandover(WPARAM wParam, LPARAM lParam) {
        char line[64];
        std::snprintf(line, sizeof line, "handover %llu %lld", static_cast<unsigned long long>(wParam),
                      static_cast<long long>(lParam));
        m_log.Line(line);
        if (m_options.port == 0 || lParam != m_options.port) return;
        if (wParam == kPortRelease && !m_options.ignoreRelease) ClosePort();
        if (wParam == kPortReclaim) OpenPort();
    }

    void Note(const char* text) { m_log.Line(text); }
    const Options& GetOptions() const { return m_options; }

private:
    void Log(const char* format, int port) {
        char line[64];
        std::snprintf(line, sizeof line, format, port);
        m_log.Line(line);
    }

    Options m_options;
    EventLog m_log;
    CRS232 m_port;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* companion = reinterpret_cast<Companion*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (companion != nullptr) {
        if (message == kPortHandoverMessage) {
            companion->OnHandover(wParam, lParam);
            return 0;
        }
        if (message == WM_DESTROY) {
            companion->ClosePort();
            PostQuitMessage(0);
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool CreateCompanionWindow(Companion& companion) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) return false;
    const DWORD style = WS_OVERLAPPEDWINDOW | (companion.GetOptions().hidden ? 0 : WS_VISIBLE);
    return CreateWindowExA(0, kWindowClass, companion.GetOptions().title.c_str(), style, 40, 40, 360, 120, nullptr,
                           nullptr, wc.hInstance, &companion) != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    Companion companion(std::move(options));
    companion.OpenPort();
    if (!CreateCompanionWindow(companion)) return 1;
    companion.Note("ready");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    companion.Note("exit");
    return 0;
}

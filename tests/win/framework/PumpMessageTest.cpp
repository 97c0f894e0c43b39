// The one-message pump the transfer runs once a page: what it does with a message, with WM_QUIT,
// and with a take that fails. The take is injected; the queue and the window are real.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "framework/Application.h"

namespace {

constexpr UINT kProbeMessage = WM_APP + 7;
int g_dispatched = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbeMessage) {
        g_dispatched += 1;
        return 0;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

// What the fake take hands back: its result, with the message filled as a failing call leaves it
// (stale bytes) or as a real one does.
BOOL g_result = 0;
MSG g_message{};

BOOL WINAPI FakeGetMessage(LPMSG msg, HWND, UINT, UINT) {
    std::memcpy(msg, &g_message, sizeof(MSG));
    return g_result;
}

class Pump : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "tlyn-pump-test";
        ::RegisterClassA(&wc);
        window = ::CreateWindowA("tlyn-pump-test", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        g_dispatched = 0;
        Drain();
    }
    void TearDown() override {
        Drain();
        ::DestroyWindow(window);
    }

    // Empties the queue; tells whether a WM_QUIT was in it, and its code.
    static bool Drain(WPARAM* quitCode = nullptr) {
        bool quit = false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                if (quitCode != nullptr) *quitCode = msg.wParam;
            }
        }
        return quit;
    }

    HWND window = nullptr;
};

struct PumpCase {
    const char* name;
    BOOL result;   // what the take returns
    UINT message;  // the message it leaves (for a failed take: stale bytes)
    WPARAM wParam;
    bool pumped;      // PumpOneMessage's answer
    int dispatched;   // times the window got the message
    bool quitQueued;  // a WM_QUIT is back in the queue for the modal loop
    WPARAM quitCode;
};

void PrintTo(const PumpCase& c, std::ostream* os) { *os << c.name; }

class PumpCases : public Pump, public ::testing::WithParamInterface<PumpCase> {};

TEST_P(PumpCases, ActsOnlyOnWhatWasTaken) {
    const PumpCase& c = GetParam();
    std::memset(&g_message, 0xCD, sizeof(g_message));
    g_message.hwnd = window;
    g_message.message = c.message;
    g_message.wParam = c.wParam;
    g_result = c.result;

    EXPECT_EQ(framework::PumpOneMessage(&FakeGetMessage, nullptr), c.pumped);
    EXPECT_EQ(g_dispatched, c.dispatched);
    WPARAM code = 0;
    EXPECT_EQ(Drain(&code), c.quitQueued);
    if (c.quitQueued) {
        EXPECT_EQ(code, c.quitCode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Takes, PumpCases,
    ::testing::Values(PumpCase{"MessageDispatched", 1, kProbeMessage, 0, true, 1, false, 0},
                      PumpCase{"QuitPutBackWithItsCode", 0, WM_QUIT, 42, false, 0, true, 42},
                      // A failed take leaves nothing to read: no quit with a stale code, no dispatch.
                      PumpCase{"FailedTakeActsOnNothing", -1, kProbeMessage, 0xCDCD, false, 0, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The real take, through the application's pump: a posted message is taken and dispatched.
TEST_F(Pump, RealQueueMessageIsDispatched) {
    ASSERT_TRUE(::PostMessageA(window, kProbeMessage, 0, 0));
    EXPECT_TRUE(framework::PumpOneMessage(&::GetMessageA, nullptr));
    EXPECT_EQ(g_dispatched, 1);
}

}  // namespace

#include "serial/CompanionWindows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr char kWindowClass[] = "TlynHandoverTestWindow";

// A top-level (or child) window of this test, destroyed with its owner.
class TestWindow {
public:
    TestWindow(const std::string& title, bool visible, HWND parent) {
        const DWORD style = (parent != nullptr ? WS_CHILD : WS_OVERLAPPED) | (visible ? WS_VISIBLE : 0);
        m_window = CreateWindowExA(0, kWindowClass, title.c_str(), style, 10, 10, 200, 80, parent, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow() {
        if (m_window != nullptr) DestroyWindow(m_window);
    }
    HWND Get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

struct Received {
    HWND window;
    WPARAM wParam;
    LPARAM lParam;
};

// The posted messages land in this thread's queue: take every hand-over message out of it.
std::vector<Received> TakeHandoverMessages() {
    std::vector<Received> received;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, kPortHandoverMessage, kPortHandoverMessage, PM_REMOVE)) {
        received.push_back({msg.hwnd, msg.wParam, msg.lParam});
    }
    return received;
}

class CompanionWindows : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        RegisterClassA(&wc);
    }
    void SetUp() override { TakeHandoverMessages(); }

    TestWindow& Create(const std::string& title, bool visible, HWND parent = nullptr) {
        m_windows.push_back(std::make_unique<TestWindow>(title, visible, parent));
        EXPECT_NE(m_windows.back()->Get(), nullptr) << title;
        return *m_windows.back();
    }

    std::vector<std::unique_ptr<TestWindow>> m_windows;
};

struct TestWindowCase {
    std::string title;
    bool visible;
    bool childOfPrevious;
    bool told;
};

struct WalkCase {
    const char* behaviour;
    std::vector<TestWindowCase> windows;
};

std::ostream& operator<<(std::ostream& out, const WalkCase& c) { return out << c.behaviour; }

class CompanionWalk : public CompanionWindows, public testing::WithParamInterface<WalkCase> {};

TEST_P(CompanionWalk, TellsExactlyTheCompanionWindows) {
    int expectedCount = 0;
    for (const TestWindowCase& window : GetParam().windows) {
        const HWND parent = window.childOfPrevious ? m_windows.back()->Get() : nullptr;
        Create(window.title, window.visible, parent);
        expectedCount += window.told ? 1 : 0;
    }

    EXPECT_EQ(TellCompanionWindows(1001, 5), expectedCount);

    const std::vector<Received> received = TakeHandoverMessages();
    for (std::size_t i = 0; i < GetParam().windows.size(); ++i) {
        const HWND window = m_windows[i]->Get();
        int count = 0;
        for (const Received& r : received) {
            if (r.window != window) continue;
            ++count;
            EXPECT_EQ(r.wParam, 1001u);
            EXPECT_EQ(r.lParam, 5);
        }
        EXPECT_EQ(count, GetParam().windows[i].told ? 1 : 0) << "window \"" << GetParam().windows[i].title << '"';
    }
    EXPECT_EQ(received.size(), static_cast<std::size_t>(expectedCount));
}

const std::string kLongTitle = "Vostrel Serial Test Program" + std::string(200, '-');

const WalkCase kWalkCases[] = {
    {"FirstPrefixLowerCaseWithMore", {{"vostrel serivane - COM5", true, false, true}}},
    {"FirstPrefixExactly", {{"Vostrel Serivane", true, false, true}}},
    {"SecondPrefixWithMore", {{"Vostrel Serial Test Program 1.4", true, false, true}}},
    {"FirstPrefixOneLetterShort", {{"Vostrel Serivan", true, false, false}}},
    {"SecondPrefixOneLetterShort", {{"Vostrel Serial Test Progra", true, false, false}}},
    {"HiddenCompanion", {{"Vostrel Serivane", false, false, false}}},
    {"OtherTitle", {{"Notepad", true, false, false}}},
    {"EmptyTitle", {{"", true, false, false}}},
    {"TitleLongerThanTheBuffer", {{kLongTitle, true, false, true}}},
    {"ChildWindowIsNotTopLevel", {{"Host", true, false, false}, {"Vostrel Serivane", true, true, false}}},
    {"TwoCompanionsBothTold",
     {{"Vostrel Serivane", true, false, true}, {"VOSTREL SERIAL TEST PROGRAM", true, false, true}}},
    {"OnlyTheVisibleOneTold",
     {{"Vostrel Serivane A", false, false, false},
      {"Vostrel Serivane B", true, false, true},
      {"Unrelated", true, false, false}}},
    {"NoWindowsOfOurs", {}},
};

INSTANTIATE_TEST_SUITE_P(Table, CompanionWalk, testing::ValuesIn(kWalkCases),
                         [](const testing::TestParamInfo<WalkCase>& info) { return info.param.behaviour; });

struct ParameterCase {
    const char* behaviour;
    unsigned wParam;
    long lParam;
};

std::ostream& operator<<(std::ostream& out, const ParameterCase& c) { return out << c.behaviour; }

class HandoverParameters : public CompanionWindows, public testing::WithParamInterface<ParameterCase> {};

TEST_P(HandoverParameters, ArriveUnchanged) {
    const HWND first = Create("Vostrel Serivane", true).Get();
    const HWND second = Create("Vostrel Serial Test Program", true).Get();
    ASSERT_EQ(TellCompanionWindows(GetParam().wParam, GetParam().lParam), 2);
    const std::vector<Received> received = TakeHandoverMessages();
    ASSERT_EQ(received.size(), 2u);
    for (const Received& r : received) {
        EXPECT_TRUE(r.window == first || r.window == second);
        EXPECT_EQ(r.wParam, GetParam().wParam);
        EXPECT_EQ(r.lParam, static_cast<LPARAM>(GetParam().lParam));
    }
    EXPECT_NE(received[0].window, received[1].window);
}

const ParameterCase kParameterCases[] = {
    {"ReleaseCom5", 1001, 5},
    {"ReclaimCom5", 1002, 5},
    {"ReleaseCom22", 1001, 22},
    {"NoPortKeepsItsSign", 1002, -1},
};

INSTANTIATE_TEST_SUITE_P(Table, HandoverParameters, testing::ValuesIn(kParameterCases),
                         [](const testing::TestParamInfo<ParameterCase>& info) { return info.param.behaviour; });

TEST(HandoverMessage, HasTheAgreedNumbers) {
    EXPECT_EQ(kPortHandoverMessage, 0x8065u);
    EXPECT_EQ(kPortHandoverMessage, static_cast<unsigned>(WM_APP + 0x65));
    EXPECT_EQ(kPortRelease, 1001u);
    EXPECT_EQ(kPortReclaim, 1002u);
}

}  // namespace

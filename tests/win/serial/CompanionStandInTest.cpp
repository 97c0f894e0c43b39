// The companion stand-in, driven as the program drives the real one: through the window walk and
// the hand-over message, its log telling what it did.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PairPorts.h"
#include "serial/CompanionWindows.h"
#include "serial/RS232.h"
#include "framework/Handles.h"

namespace {

using Lines = std::vector<std::string>;

// The unix path of a file as a Windows path: Wine's Z: drive is the unix root.
std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:";
    path.append(unixPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string TempLogPath() {
    char directory[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "cmp", 0, path);
    return path;
}

Lines ReadLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    Lines lines;
    std::string line;
    while (std::getline(file, line)) lines.push_back(line);
    return lines;
}

// One run of the stand-in; ended at once when a case leaves it running.
class StandIn {
public:
    StandIn() : m_logPath(TempLogPath()) {}
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    ~StandIn() {
        if (m_process.IsValid() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 1);
        }
        DeleteFileA(m_logPath.c_str());
    }

    bool Start(const std::string& arguments) {
        std::string commandLine = "\"";
        commandLine.append(WindowsPath(TLYN_COMPANION_EXE)).append("\" --log \"").append(m_logPath);
        commandLine.append("\" ").append(arguments);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            return false;
        }
        CloseHandle(info.hThread);
        m_process.Reset(info.hProcess);
        return true;
    }

    // Waits (up to five seconds) until the log holds `count` lines; returns what it holds.
    Lines WaitForLines(std::size_t count) const {
        const ULONGLONG start = GetTickCount64();
        Lines lines = ReadLines(m_logPath);
        while (lines.size() < count && GetTickCount64() - start < 5000) {
            Sleep(10);
            lines = ReadLines(m_logPath);
        }
        return lines;
    }

    // Asks the window to close and returns the exit code (STILL_ACTIVE when it didn't end).
    DWORD Close(HWND window) const {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return WaitForExit();
    }

    DWORD WaitForExit() const {
        WaitForSingleObject(m_process.Get(), 5000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

private:
    std::string m_logPath;
    framework::FileHandle m_process;
};

constexpr char kDefaultTitle[] = "Vostrel Serial Test Program";

std::string Arguments(int port) { return "--port " + std::to_string(port); }
std::string Line(const char* event, int port) { return std::string(event) + " COM" + std::to_string(port); }
std::string Handover(unsigned wParam, long lParam) {
    return "handover " + std::to_string(wParam) + " " + std::to_string(lParam);
}

TEST(CompanionStandIn, HoldsThePortAndHandsItOverOnRequest) {
    StandIn standIn;
    ASSERT_TRUE(standIn.Start(Arguments(kPairPort)));
    ASSERT_EQ(standIn.WaitForLines(2), (Lines{Line("open", kPairPort) + " ok", "ready"}));
    const HWND window = FindWindowA(nullptr, kDefaultTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));

    EXPECT_EQ(TellCompanionWindows(kPortRelease, kPairPort), 1);
    EXPECT_EQ(standIn.WaitForLines(4).back(), Line("close", kPairPort));
    // The released port opens here (under Wine it would open even while held: no sharing check).
    CRS232 port;
    EXPECT_TRUE(port.Open(kPairPort, 38400, 'N', 8, 1));
    port.Close();

    EXPECT_EQ(TellCompanionWindows(kPortReclaim, kPairPort), 1);
    EXPECT_EQ(standIn.WaitForLines(6).back(), Line("open", kPairPort) + " ok");

    EXPECT_EQ(standIn.Close(window), 0u);
    EXPECT_EQ(standIn.WaitForLines(8),
              (Lines{Line("open", kPairPort) + " ok", "ready", Handover(1001, kPairPort), Line("close", kPairPort),
                     Handover(1002, kPairPort), Line("open", kPairPort) + " ok", Line("close", kPairPort), "exit"}));
}

TEST(CompanionStandIn, KeepsThePortWhenAnotherIsAskedFor) {
    StandIn standIn;
    ASSERT_TRUE(standIn.Start(Arguments(kPairPort)));
    ASSERT_EQ(standIn.WaitForLines(2).size(), 2u);
    const HWND window = FindWindowA(nullptr, kDefaultTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TellCompanionWindows(kPortRelease, kPairPeerPort), 1);
    EXPECT_EQ(standIn.WaitForLines(3).back(), Handover(1001, kPairPeerPort));
    EXPECT_EQ(standIn.Close(window), 0u);
    EXPECT_EQ(standIn.WaitForLines(5), (Lines{Line("open", kPairPort) + " ok", "ready", Handover(1001, kPairPeerPort),
                                              Line("close", kPairPort), "exit"}));
}

TEST(CompanionStandIn, IgnoresReleaseWhenToldTo) {
    StandIn standIn;
    ASSERT_TRUE(standIn.Start(Arguments(kPairPort) + " --ignore-release --title \"vostrel serivane (COM8)\""));
    ASSERT_EQ(standIn.WaitForLines(2).size(), 2u);
    const HWND window = FindWindowA(nullptr, "vostrel serivane (COM8)");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TellCompanionWindows(kPortRelease, kPairPort), 1);
    EXPECT_EQ(TellCompanionWindows(kPortReclaim, kPairPort), 1);
    EXPECT_EQ(standIn.WaitForLines(4).back(), Handover(1002, kPairPort));
    EXPECT_EQ(standIn.Close(window), 0u);
    EXPECT_EQ(standIn.WaitForLines(6), (Lines{Line("open", kPairPort) + " ok", "ready", Handover(1001, kPairPort),
                                              Handover(1002, kPairPort), Line("close", kPairPort), "exit"}));
}

TEST(CompanionStandIn, HiddenWindowIsNotTold) {
    StandIn standIn;
    ASSERT_TRUE(standIn.Start(Arguments(kPairPort) + " --hidden"));
    ASSERT_EQ(standIn.WaitForLines(2).size(), 2u);
    const HWND window = FindWindowA(nullptr, kDefaultTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(TellCompanionWindows(kPortRelease, kPairPort), 0);
    EXPECT_EQ(standIn.Close(window), 0u);
    EXPECT_EQ(standIn.WaitForLines(4),
              (Lines{Line("open", kPairPort) + " ok", "ready", Line("close", kPairPort), "exit"}));
}

TEST(CompanionStandIn, ReportsAPortItCannotOpenAndTriesAgainOnReclaim) {
    StandIn standIn;
    ASSERT_TRUE(standIn.Start(Arguments(kRefusingPort)));
    ASSERT_EQ(standIn.WaitForLines(2), (Lines{Line("open", kRefusingPort) + " failed", "ready"}));
    const HWND window = FindWindowA(nullptr, kDefaultTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TellCompanionWindows(kPortReclaim, kRefusingPort), 1);
    EXPECT_EQ(standIn.WaitForLines(4).back(), Line("open", kRefusingPort) + " failed");
    EXPECT_EQ(standIn.Close(window), 0u);
    EXPECT_EQ(standIn.WaitForLines(5).back(), "exit");
}

TEST(CompanionStandIn, RefusesACommandLineItDoesNotKnow) {
    for (const char* arguments : {"--port x", "--port 0", "--port", "--colour red"}) {
        StandIn standIn;
        ASSERT_TRUE(standIn.Start(arguments));
        EXPECT_EQ(standIn.WaitForExit(), 2u) << arguments;
    }
}

}  // namespace

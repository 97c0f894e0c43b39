// The run command's automatic form with the simulated device: it presses Begin Update, prints the
// outcome and returns, and leaves no process of its own behind. On a real port it sends only the
// user's own firmware, with a person at the device: what it refuses, it refuses before it starts
// anything.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <regex>

#include "Session.h"
#include "Window.h"
#include "firmware/HexImage.h"
#include "tools/probe/TextCoding.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

std::string SourceDir() { return TLYN_SOURCE_DIR; }

// Processes whose command line or environment names the run command's own bed.
std::vector<std::string> ProcessesOfTheRunBed() {
    const std::string bed = SourceDir() + "/build/run/bed";
    std::vector<std::string> found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {"/proc unreadable"};
    while (dirent* entry = readdir(proc)) {
        std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = ReadFile("/proc/" + pid + "/cmdline");
        std::string environ = ReadFile("/proc/" + pid + "/environ");
        if (cmdline.find(bed) != std::string::npos || environ.find("WINEPREFIX=" + bed) != std::string::npos) {
            for (char& c : cmdline) {
                if (c == '\0') c = ' ';
            }
            found.push_back(pid + ": " + cmdline);
        }
    }
    closedir(proc);
    return found;
}

// The environment of the run command's Wine session, as its bed wrote it.
std::map<std::string, std::string> RunBedEnv() {
    std::map<std::string, std::string> env;
    std::string text = ReadFile(SourceDir() + "/build/run/bed/env");
    std::regex assignment(R"(([A-Za-z_][A-Za-z0-9_]*)='([^']*)')");
    for (std::sregex_iterator it(text.begin(), text.end(), assignment), end; it != end; ++it) {
        env[(*it)[1]] = (*it)[2];
    }
    return env;
}

// Reads the command's output until a line begins with the prefix; false when the time runs out.
bool ReadUntil(ChildProcess& run, const std::string& prefix, std::chrono::seconds within) {
    const auto deadline = Clock::now() + within;
    while (Clock::now() < deadline) {
        auto line = run.ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        if (!line) return false;
        if (line->rfind(prefix, 0) == 0) return true;
    }
    return false;
}

TEST(RunCommand, AutomaticRunReturnsWithTheOutcome) {
    ChildProcess run;
    // Without a display the command makes its own, as on a machine without one.
    ASSERT_TRUE(run.Start({"env", "-u", "DISPLAY", "bash", "scripts/run.sh", "--auto"}, {}, SourceDir(),
                          WorkDir() + "/run-command.log", true));
    std::vector<std::string> lines;
    const auto deadline = Clock::now() + std::chrono::seconds(150);
    while (Clock::now() < deadline) {
        auto line = run.ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        if (!line) break;
        lines.push_back(*line);
    }
    auto status = run.Wait(30s);
    ASSERT_TRUE(status.has_value()) << "the run command did not return";
    EXPECT_EQ(*status, 0);

    std::string outcome;
    for (const std::string& line : lines) {
        if (line.rfind("Message box: ", 0) == 0) outcome = line;
    }
    EXPECT_NE(outcome.find("Firmware Update Complete"), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("The Gathrix RS-232 Remote firmware has been successfully updated."), std::string::npos)
        << outcome;

    // The simulator got the sample firmware's image, byte for byte.
    firmware::HexConversion sample =
        firmware::ConvertHexToImage(ReadFile(SourceDir() + "/package/sample/GX-REM2-Sample.hex"));
    ASSERT_EQ(sample.status, firmware::HexStatus::Ok);
    std::string received = ReadFile(SourceDir() + "/build/run/received.bin");
    EXPECT_TRUE(received.size() == sample.image.size() &&
                std::equal(received.begin(), received.end(), sample.image.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
        << "received " << received.size() << " bytes";

    // Nothing it started is left: no simulator, no wineserver or Wine process of its bed, no display.
    EXPECT_EQ(ProcessesOfTheRunBed(), std::vector<std::string>{});
    EXPECT_FALSE(FileExists(SourceDir() + "/build/run/bed/xvfb.pid"));
}

// The interactive run: the user closes the window with Done, and the command returns with every
// process it started ended.
TEST(RunCommand, ClosingTheWindowEndsEveryProcess) {
    ChildProcess run;
    ASSERT_TRUE(run.Start({"env", "-u", "DISPLAY", "bash", "scripts/run.sh"}, {}, SourceDir(),
                          WorkDir() + "/run-command.log", true));
    ASSERT_TRUE(ReadUntil(run, "Check COM1", std::chrono::seconds(150)));

    ChildProcess user;
    ASSERT_TRUE(user.Start({"wine", WinBuildDir() + "/tools/probe/tlyn_probe.exe"}, RunBedEnv(), WorkDir(),
                           WorkDir() + "/run-command-probe.log", true));
    ASSERT_EQ(user.ReadLine(60s), std::optional<std::string>("ok ready"));
    ASSERT_TRUE(user.WriteLine("wait-window 30000 " + probe::EncodeText(kCaption)));
    ASSERT_EQ(user.ReadLine(40s).value_or("").rfind("ok", 0), 0u) << "the program's window did not show";
    // The window is up and stays up until it is closed: two seconds in which the command must not
    // return, so a wait on a state would not do here.
    std::this_thread::sleep_for(2s);
    ASSERT_FALSE(run.Wait(0ms).has_value()) << "the command returned before the window was closed";
    ASSERT_TRUE(user.WriteLine("click " + std::to_string(kDone)));
    user.ReadLine(10s);
    user.WriteLine("quit");

    auto status = run.Wait(60s);
    ASSERT_TRUE(status.has_value()) << "the run command did not return after the window closed";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(ProcessesOfTheRunBed(), std::vector<std::string>{});
    EXPECT_FALSE(FileExists(SourceDir() + "/build/run/bed/xvfb.pid"));
}

// What the command is refused with. "@" in an argument stands for the case's firmware folder.
struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* description;  // the folder's Gathrix_Remote.txt; nullptr: none
    const char* hexFile;      // a HEX file put in the folder; nullptr: none
    const char* says;         // what the message must say
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class RunCommandRefuses : public ::testing::TestWithParam<Refusal> {};

// Every program the command would install, build or start with is a stand-in here that notes its
// call, so a refusal that came after any of them shows.
TEST_P(RunCommandRefuses, AtOnceWithStatus2AndStartsNothing) {
    namespace fs = std::filesystem;
    const Refusal& c = GetParam();
    const std::string dir = WorkDir() + "/run-refused-" + c.name;
    fs::remove_all(dir);
    const std::string firmware = dir + "/my firmware";
    const std::string shims = dir + "/shims";
    const std::string calls = dir + "/calls.log";
    fs::create_directories(firmware);
    fs::create_directories(shims);
    if (c.description != nullptr) {
        ASSERT_TRUE(WriteFile(firmware + "/Gathrix_Remote.txt", c.description));
    }
    if (c.hexFile != nullptr) {
        ASSERT_TRUE(WriteFile(firmware + "/" + c.hexFile, ":00000001FF\r\n"));
    }
    for (const char* tool : {"apt-get", "dpkg-query", "cmake", "make", "wine", "wineserver", "Xvfb", "socat"}) {
        const std::string shim = shims + "/" + tool;
        ASSERT_TRUE(WriteFile(shim, "#!/bin/sh\necho \"$0 $*\" >>'" + calls + "'\nexit 1\n"));
        ASSERT_EQ(chmod(shim.c_str(), 0755), 0);
    }

    std::vector<std::string> argv = {"bash", SourceDir() + "/scripts/run.sh"};
    for (std::string arg : c.args) argv.push_back(arg == "@" ? firmware : arg);
    const char* path = std::getenv("PATH");
    const std::string log = dir + "/run.log";
    ChildProcess run;
    const auto started = Clock::now();
    ASSERT_TRUE(run.Start(argv, {{"PATH", shims + ":" + (path ? path : "/usr/bin:/bin")}}, dir, log, true));
    const std::optional<std::string> printed = run.ReadLine(10s);
    const std::optional<int> status = run.Wait(10s);
    ASSERT_TRUE(status.has_value()) << "the command did not stop";
    EXPECT_EQ(*status, 2);
    EXPECT_LT(Clock::now() - started, 5s);
    EXPECT_FALSE(printed.has_value()) << "it went on to print: " << *printed;
    const std::string message = ReadFile(log);
    EXPECT_NE(message.find(c.says), std::string::npos) << "it said: " << message;
    EXPECT_EQ(ReadFile(calls), "") << "it went on to install, build or start";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunCommandRefuses,
    ::testing::Values(
        Refusal{"RealPortWithoutFirmware", {"/dev/null"}, nullptr, nullptr, "a real port needs your firmware"},
        Refusal{"RealPortAutomatic",
                {"--auto", "--firmware", "@", "/dev/null"},
                "1.0\nmine.hex\n",
                "mine.hex",
                "--auto is refused on a real port"},
        Refusal{"RealPortFirmwareWithoutItsHexFile",
                {"--firmware", "@", "/dev/null"},
                "1.0\r\nmine.hex\r\n",
                nullptr,
                "no firmware file mine.hex in"},
        Refusal{"RealPortFirmwareWithoutDescription",
                {"--firmware", "@", "/dev/null"},
                nullptr,
                "mine.hex",
                "no Gathrix_Remote.txt in"},
        Refusal{"RealPortSampleAsFirmware",
                {"--firmware", SourceDir() + "/package/sample", "/dev/null"},
                nullptr,
                nullptr,
                "is the sample"},
        Refusal{"SimulatorFirmwareWithoutItsHexFile",
                {"--firmware", "@"},
                "1.0\nmine.hex\n",
                nullptr,
                "no firmware file mine.hex in"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

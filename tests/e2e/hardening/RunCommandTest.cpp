// The run command's automatic form with the simulated device: it presses Begin Update, prints the
// outcome and returns, and leaves no process of its own behind.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "Session.h"
#include "firmware/HexImage.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

std::string SourceDir() { return TLYN_SOURCE_DIR; }

std::string ReadProcFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Processes whose command line or environment names the run command's own bed.
std::vector<std::string> ProcessesOfTheRunBed() {
    const std::string bed = SourceDir() + "/build/run/bed";
    std::vector<std::string> found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {"/proc unreadable"};
    while (dirent* entry = readdir(proc)) {
        std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = ReadProcFile("/proc/" + pid + "/cmdline");
        std::string environ = ReadProcFile("/proc/" + pid + "/environ");
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
    firmware::HexConversion sample = firmware::ConvertHexToImage(ReadFile(SourceDir() + "/package/GX-REM2-Sample.hex"));
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

}  // namespace

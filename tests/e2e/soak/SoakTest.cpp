// Twenty updates in a row in one run of the program, successes and device failures taking turns:
// every success delivers the exact image, every failure is reported, and the program's memory and
// open descriptors do not grow from one update to the next.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "ProgramTest.h"
#include "tools/bootsim/Simulator.h"
#include "tests/support/HexWriter.h"

namespace {

using namespace e2e;

constexpr int kPort = 5;

// The Windows process is the Wine process: its resident memory and its open descriptors (the
// port, files and the server's handles it caches) are what would leak.
long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            break;
        }
    }
    return value;
}

int OpenDescriptors(pid_t pid) {
    int count = 0;
    if (DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count - 2;
}

class Soak : public ProgramTest {};

TEST_F(Soak, TwentyUpdatesInOneRun) {
    std::vector<std::uint8_t> image(3 * 256);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::string hex;
    hexgen::AppendBlock(hex, 0, image, 16);
    hexgen::AppendEnd(hex);

    ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}}));
    ASSERT_NO_FATAL_FAILURE(StartProgram("soak", hex, std::nullopt, "soak\nfirmware.hex\n"));

    const bootsim::Misbehaviour failures[] = {bootsim::Misbehaviour::WrongVersion, bootsim::Misbehaviour::NoReadyByte,
                                              bootsim::Misbehaviour::WrongReplyToPage,
                                              bootsim::Misbehaviour::RefusePage};
    std::vector<long> memory;
    std::vector<int> descriptors;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("update " + std::to_string(run + 1));
        bool succeed = run % 2 == 0;
        bootsim::Options options;
        options.misbehaviour = succeed ? bootsim::Misbehaviour::None : failures[(run / 2) % 4];
        options.page = 1;
        options.refusals = 5;
        options.attentionsBeforePresence = 1;
        // The port's link is resolved at every open, so each update meets a device of its own.
        ASSERT_NO_FATAL_FAILURE(StartDevice(DeviceOn{kPort, options}));
        ASSERT_TRUE(probe.Click(kBeginUpdate));
        auto box = probe.WaitMessageBox(30s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, succeed ? "Firmware Update Complete" : "Firmware Update Error");
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_TRUE(device->WaitForLineClosed(5s));
        EXPECT_EQ(device->EndMarkers(), succeed ? 1u : 0u);
        if (succeed) {
            EXPECT_EQ(device->LastImage(), image);
        }
        EXPECT_EQ(device->ProtocolErrors(), std::vector<std::string>{});
        EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
        memory.push_back(ResidentKiB(program.Pid()));
        descriptors.push_back(OpenDescriptors(program.Pid()));
    }
    std::printf("resident KiB after updates 1, 5, 10, 20: %ld %ld %ld %ld; descriptors: %d %d %d %d\n", memory[0],
                memory[4], memory[9], memory[19], descriptors[0], descriptors[4], descriptors[9], descriptors[19]);
    // The first updates load what stays loaded; from then on nothing may pile up.
    EXPECT_LE(memory[19] - memory[4], 1024) << "resident memory grew by more than 1 MiB over 15 updates";
    EXPECT_LE(descriptors[19], descriptors[4]);
}

}  // namespace

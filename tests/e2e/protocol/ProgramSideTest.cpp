// The program's side of the line, as the device sees it: the line settings, one attention byte
// after the presence byte, every pause kept, every answer awaited, and the purge before the
// greeting. Each device here is a good one that says a little more, or later, than it must; the
// update must succeed and the device must have nothing to object to. Each update has frames enough
// for the device to judge every pause by its median, so one cut 2 ms short is caught.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;

constexpr int kDevicePort = 5;

struct DeviceCase {
    const char* name;
    bootsim::Options device;
    unsigned pages = 24;
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

bootsim::Options Device(void (*change)(bootsim::Options&)) {
    bootsim::Options options;
    change(options);
    return options;
}

class ProgramSide : public ProgramTest, public ::testing::WithParamInterface<DeviceCase> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }
};

TEST_P(ProgramSide, UpdatesAndKeepsEveryRuleOfTheLine) {
    const DeviceCase& c = GetParam();
    const Firmware firmware = MakeFirmware(c.pages);
    // The base checks the device's port and waits until the window shows it checked.
    ASSERT_NO_FATAL_FAILURE(
        StartProgram(std::string("program-side-") + c.name, firmware.hex, DeviceOn{kDevicePort, c.device}));

    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto box = probe.WaitMessageBox(60s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete") << box->text;
    ASSERT_TRUE(probe.CloseMessageBox());

    EXPECT_EQ(device->ProtocolErrors(), std::vector<std::string>{});
    // As Wine's SetCommState leaves the pseudo-terminal.
    EXPECT_EQ(device->LineSettings(), "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control");
    EXPECT_EQ(device->EndMarkers(), 1u);
    EXPECT_EQ(device->LastImage(), firmware.image);
    EXPECT_EQ(device->Frames().size(), c.pages);
}

INSTANTIATE_TEST_SUITE_P(Devices, ProgramSide,
                         ::testing::Values(
                             // Answers inside the program's pauses.
                             DeviceCase{"Prompt", {}},
                             // Noise the detection must drop, and a whole wrong version line right behind the presence
                             // byte that only the purge before the greeting keeps from being read as the answer.
                             DeviceCase{"NoiseAroundThePresenceByte", Device([](bootsim::Options& o) {
                                            o.noiseBeforePresence = std::string("\x00\x55\x0D", 3);
                                            o.bytesAfterPresence = "GX-REM2-2.31\r!";
                                        })},
                             // The presence byte just before the program's next tick: the settling pause alone keeps
                             // the greeting 100 ms behind it.
                             DeviceCase{"PresenceJustBeforeTheNextTick", Device([](bootsim::Options& o) {
                                            o.presenceDelay = std::chrono::milliseconds(470);
                                        })},
                             // The ready byte on its own, well into its window.
                             DeviceCase{"ReadyByteLate", Device([](bootsim::Options& o) {
                                            o.readyDelay = std::chrono::milliseconds(1500);
                                        })},
                             // Each answer comes after the pause that follows the checksum: only a program that waits
                             // for it sends the next frame after it.
                             DeviceCase{"AnswersAfterThePause", Device([](bootsim::Options& o) {
                                            o.replyTime = std::chrono::milliseconds(60);
                                        })}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

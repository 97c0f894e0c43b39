// Updates over a line at a cable's pace, as a user's 38400-baud cable carries them: every byte the
// program writes reaches the device ten bits after the one before it, and every byte the device
// sends comes back as slowly. A pseudo-terminal alone carries them at once.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "Firmware.h"
#include "ProgramTest.h"
#include "tools/bootsim/Cable.h"

namespace {

using namespace e2e;

constexpr int kDevicePort = 5;

bootsim::Options Paced(bootsim::Options options = {}) {
    options.pacedLine = true;
    return options;
}

class PacedLine : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }

    // Begin Update pressed, the outcome read and answered: the device got the image exactly.
    void UpdateSucceeds(const Firmware& firmware, std::size_t frames, std::chrono::seconds within) {
        ASSERT_TRUE(probe.Click(kBeginUpdate));
        auto box = probe.WaitMessageBox(within);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "Firmware Update Complete") << box->text;
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_EQ(device->EndMarkers(), 1u);
        EXPECT_EQ(device->LastImage(), firmware.image);
        EXPECT_EQ(device->Frames().size(), frames);
        EXPECT_EQ(probe.StoredPort(), kDevicePort);
    }
};

TEST_F(PacedLine, LargestImageArrivesExact) {
    constexpr unsigned kPages = 257;
    const Firmware firmware = MakeFirmware(kPages);
    ASSERT_NO_FATAL_FAILURE(StartProgram("paced-largest", firmware.hex, DeviceOn{kDevicePort, Paced()}));
    ASSERT_NO_FATAL_FAILURE(UpdateSucceeds(firmware, kPages, 120s));

    // The line really kept the pace: no frame is answered before its pause after the page number
    // and its data and checksum on the wire are over.
    const std::vector<bootsim::Clock::time_point> attentions = device->AttentionTimes();
    ASSERT_FALSE(attentions.empty());
    const auto wire = kPages * (std::chrono::milliseconds(20) + bootsim::ByteTime(38400) * 257);
    EXPECT_GE(device->EndMarkerTime() - attentions.back(), wire);
}

struct DeviceCase {
    const char* name;
    bootsim::Options device;
    unsigned pages;
    std::size_t frames;
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

class PacedDevice : public PacedLine, public ::testing::WithParamInterface<DeviceCase> {};

// Enough frames for the device to judge the program's pauses by their median.
TEST_P(PacedDevice, IsUpdated) {
    const DeviceCase& c = GetParam();
    const Firmware firmware = MakeFirmware(c.pages);
    ASSERT_NO_FATAL_FAILURE(
        StartProgram(std::string("paced-") + c.name, firmware.hex, DeviceOn{kDevicePort, Paced(c.device)}));
    ASSERT_NO_FATAL_FAILURE(UpdateSucceeds(firmware, c.frames, 30s));
}

INSTANTIATE_TEST_SUITE_P(Devices, PacedDevice,
                         ::testing::Values(
                             // The version line comes a byte at a time, as the cable brings it.
                             DeviceCase{"TrickledVersionLineIsAccepted", {}, 8, 8},
                             // The refused page goes out five times in all, each time at the cable's pace.
                             DeviceCase{"PageRefusedFourTimesStillArrives", [] {
                                            bootsim::Options o;
                                            o.misbehaviour = bootsim::Misbehaviour::RefusePage;
                                            o.page = 1;
                                            o.refusals = 4;
                                            return o;
                                        }(),
                                        4, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

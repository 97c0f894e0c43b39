// One update as a user runs it: check COM5, press Begin Update, the device (the simulated boot
// loader) answers, the pages go out, the message box tells the outcome, the window is idle again.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;

constexpr int kDevicePort = 5;
constexpr char kResetPrompt[] = "Press & release the Gathrix Base Reset button to start update.";

std::string FailureText(const std::string& lead) {
    return lead +
           "Gathrix RS-232 Remote.     \n\n"
           "Firmware update terminated.\n\n"
           "If some of the hex file was transferred, the firmware in the Gathrix RS-232 Remote may be corrupt.     \n\n"
           "You should retry the firmware update procedure.\n\n"
           "If you continue to have problems, contact Vostrel Systems for support.\n"
           "     Mon - Fri, 8:00 AM - 5:00 PM Central Time\n"
           "     +1 (555) 010-4477\n"
           "     support@vostrel-systems.example\n"
           "     www.vostrel-systems.example\n"
           "\n";
}

class Update : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts(
            {{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial4", "COM5"}, {"\\Device\\Serial6", "COM7"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
        tempDir = probe.TempDir();
        ASSERT_FALSE(tempDir.empty());
        std::filesystem::remove(tempDir + "/Hex.tmp");
    }

    // The program started from a folder with the firmware, the device on COM5, COM5 checked.
    void StartProgram(const std::string& name, const std::string& hex, bootsim::Options options = {}) {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::StartProgram(name, hex, DeviceOn{kDevicePort, options}));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
    }

    // The outcome box answered: the window goes back to idle.
    void CloseBoxUntilIdle() {
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    }

    bool Enabled(int id) {
        auto state = probe.State(id);
        return state && state->enabled;
    }

    // Every control as the idle window has it, with COM3, COM5 and COM7 installed.
    void ExpectIdle() {
        EXPECT_EQ(probe.Text(kBeginUpdate), "Begin Update");
        for (int id : {kBeginUpdate, kDone, kRefresh, kContactInfo, 2003, 2005, 2007}) {
            EXPECT_TRUE(Enabled(id)) << id;
        }
        EXPECT_FALSE(Enabled(2004));
        EXPECT_FALSE(FileExists(tempDir + "/Hex.tmp"));
    }

    // While an update is armed or transferring only the chosen port's button stays enabled.
    void ExpectLocked(bool beginEnabled) {
        EXPECT_EQ(probe.Text(kBeginUpdate), "Cancel Update");
        EXPECT_EQ(Enabled(kBeginUpdate), beginEnabled);
        for (int id : {kDone, kRefresh, kContactInfo, 2003, 2007}) {
            EXPECT_FALSE(Enabled(id)) << id;
        }
        EXPECT_TRUE(Enabled(2000 + kDevicePort));
    }

    std::string tempDir;
};

TEST_F(Update, FullImageOf257PagesArrivesByteForByte) {
    Firmware firmware = MakeFirmware(257);
    StartProgram("full-update", firmware.hex);
    ASSERT_TRUE(probe.Click(kBeginUpdate));

    // Armed: the prompt in the result line, the window locked, attention bytes on the line.
    ASSERT_TRUE(device->WaitForLineOpened(10s));
    ASSERT_TRUE(device->WaitForFrames(20, 20s));
    ExpectLocked(false);
    EXPECT_EQ(probe.Text(kBootLoaderLine), "Boot loader version  =  GX-REM2-2.32");
    EXPECT_EQ(probe.Text(kProgressLine).rfind("Sending hex file page  ", 0), 0u);
    ASSERT_TRUE(probe.Screenshot("transfer-window"));

    auto box = probe.WaitMessageBox(60s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    EXPECT_EQ(box->text, "The Gathrix RS-232 Remote firmware has been successfully updated.     ");
    EXPECT_EQ(box->icon, "information");
    EXPECT_EQ(probe.Text(kResultLine), "Gathrix RS-232 Remote firmware successfully updated");
    EXPECT_EQ(probe.Text(kProgressLine), "Sending hex file page  257  of  257");
    ASSERT_TRUE(probe.Screenshot("update-complete"));
    ASSERT_NO_FATAL_FAILURE(CloseBoxUntilIdle());

    EXPECT_EQ(device->EndMarkers(), 1u);
    EXPECT_EQ(device->LastImage(), firmware.image);
    std::vector<bootsim::Frame> frames = device->Frames();
    ASSERT_EQ(frames.size(), 257u);
    for (unsigned k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(frames[k].page, k);
        EXPECT_TRUE(frames[k].checksumOk);
    }
    EXPECT_TRUE(device->WaitForLineClosed(5s));
    EXPECT_EQ(probe.StoredPort(), kDevicePort);
    ExpectIdle();
}

TEST_F(Update, ArmedWindowBlinksThePromptUntilCancelled) {
    bootsim::Options silent;
    silent.misbehaviour = bootsim::Misbehaviour::SilentToAttention;
    StartProgram("armed-cancel", MakeFirmware(1).hex, silent);
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(2, 10s));
    ExpectLocked(true);
    EXPECT_TRUE(FileExists(tempDir + "/Hex.tmp"));

    // The prompt shows for about two seconds and vanishes for about half a second.
    bool seenPrompt = false, seenBlank = false;
    Eventually(
        [&] {
            std::string line = probe.Text(kResultLine);
            seenPrompt |= line == kResetPrompt;
            seenBlank |= line.empty();
            return seenPrompt && seenBlank;
        },
        4s, 100ms);
    EXPECT_TRUE(seenPrompt);
    EXPECT_TRUE(seenBlank);
    // The screenshot for the guide, taken while the prompt shows.
    ASSERT_TRUE(Eventually(
        [&] {
            return probe.Text(kResultLine) == kResetPrompt && probe.Screenshot("armed-window") &&
                   probe.Text(kResultLine) == kResetPrompt;
        },
        5s, 100ms));

    // About one attention byte every 500 ms: two seconds of them counted.
    unsigned before = device->AttentionBytes();
    std::this_thread::sleep_for(2000ms);
    unsigned during = device->AttentionBytes() - before;
    EXPECT_GE(during, 3u);
    EXPECT_LE(during, 5u);

    ASSERT_TRUE(probe.AskOk("press 1006"));
    EXPECT_TRUE(device->WaitForLineClosed(5s));
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    EXPECT_EQ(probe.Text(kResultLine), "");
    ExpectIdle();
    // No attention byte follows the cancel: watched for more than two of their periods.
    unsigned after = device->AttentionBytes();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(device->AttentionBytes(), after);
    EXPECT_EQ(probe.StoredPort(), std::nullopt);
}

struct FailureCase {
    const char* name;
    bootsim::Misbehaviour misbehaviour;
    const char* lead;
    unsigned page = 0;
    unsigned refusals = 1;
};

class UpdateFailure : public Update, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateFailure, ReportsTheReasonAndEndsIdle) {
    const FailureCase& c = GetParam();
    bootsim::Options options;
    options.attentionsBeforePresence = 1;  // the failure comes after the answer: that is the case
    options.misbehaviour = c.misbehaviour;
    options.page = c.page;
    options.refusals = c.refusals;
    StartProgram(std::string("failure-") + c.name, MakeFirmware(3).hex, options);
    ASSERT_TRUE(probe.Click(kBeginUpdate));

    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, FailureText(c.lead));
    EXPECT_EQ(box->icon, "exclamation");
    EXPECT_EQ(probe.Text(kResultLine), "Firmware update failed");
    ASSERT_NO_FATAL_FAILURE(CloseBoxUntilIdle());

    EXPECT_TRUE(device->Vanished() || device->WaitForLineClosed(5s));
    EXPECT_EQ(device->EndMarkers(), 0u);
    EXPECT_EQ(probe.StoredPort(), std::nullopt);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFailure,
    ::testing::Values(
        FailureCase{"SilentAfterGreeting", bootsim::Misbehaviour::SilentToGreeting, "No response from the "},
        FailureCase{"WrongVersion", bootsim::Misbehaviour::WrongVersion, "Invalid version response from the "},
        FailureCase{"LowerCaseVersion", bootsim::Misbehaviour::LowerCaseVersion, "Invalid version response from the "},
        FailureCase{"LongVersion", bootsim::Misbehaviour::LongVersion, "Invalid version response from the "},
        FailureCase{"FloodWithoutLineEnd", bootsim::Misbehaviour::FloodAfterGreeting,
                    "Invalid version response from the "},
        FailureCase{"NoReadyByte", bootsim::Misbehaviour::NoReadyByte, "No ready response from the "},
        FailureCase{"LineFeedAfterVersion", bootsim::Misbehaviour::LineFeedAfterCarriageReturn,
                    "Invalid ready response from the "},
        FailureCase{"WrongReplyToPage", bootsim::Misbehaviour::WrongReplyToPage, "Invalid ready response from the ", 1},
        FailureCase{"FiveRefusals", bootsim::Misbehaviour::RefusePage, "Invalid ready response from the ", 1, 5},
        FailureCase{"SlowReplyToPage", bootsim::Misbehaviour::SlowReplyToPage, "No response from the ", 2},
        FailureCase{"VanishesMidTransfer", bootsim::Misbehaviour::VanishAfterPage, "No response from the ", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Update, FourRefusalsOfAPageStillSucceed) {
    bootsim::Options options;
    options.misbehaviour = bootsim::Misbehaviour::RefusePage;
    options.page = 1;
    options.refusals = 4;
    Firmware firmware = MakeFirmware(3);
    StartProgram("four-refusals", firmware.hex, options);
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(device->Frames().size(), 3u + 4u);
    EXPECT_EQ(device->LastImage(), firmware.image);
    EXPECT_EQ(probe.StoredPort(), kDevicePort);
}

TEST_F(Update, InvalidHexFileEndsIdleWithNoPortOpen) {
    StartProgram("invalid-hex", ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto box = probe.WaitMessageBox(15s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, "Invalid firmware hex file.                           ");
    EXPECT_EQ(box->icon, "none");
    EXPECT_FALSE(FileExists(tempDir + "/Hex.tmp"));
    ASSERT_NO_FATAL_FAILURE(CloseBoxUntilIdle());
    EXPECT_TRUE(device->WaitForLineClosed(5s));
    EXPECT_EQ(probe.Text(kResultLine), "");
    ExpectIdle();
    EXPECT_EQ(device->Frames().size(), 0u);
}

// Wine opens a COM port even while another process holds it, so "can't be opened" is made by
// pointing the port at something that is no device.
TEST_F(Update, PortThatCannotBeOpenedIsNamed) {
    StartProgram("port-refused", MakeFirmware(1).hex);
    device->Stop();
    std::filesystem::create_directories(folder->Path("not-a-device"));
    ASSERT_TRUE(LinkPort(kDevicePort, folder->Path("not-a-device")));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto box = probe.WaitMessageBox(15s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, "Unable to open serial port COM5     ");
    EXPECT_EQ(box->icon, "exclamation");
    ASSERT_NO_FATAL_FAILURE(CloseBoxUntilIdle());
    EXPECT_EQ(probe.Text(kResultLine), "");
    ExpectIdle();
}

// The companion program holds the port: asked to release it, it does (here the test frees the
// port the moment the request is logged), the update runs, and the port goes back to it after.
TEST_F(Update, CompanionReleasesThePortAndGetsItBack) {
    StartProgram("companion", MakeFirmware(2).hex);
    std::string devicePath = std::filesystem::read_symlink(Bed::Get().PortLink(kDevicePort));
    std::filesystem::create_directories(folder->Path("held"));
    ASSERT_TRUE(LinkPort(kDevicePort, folder->Path("held")));
    std::string log = folder->Path("companion.log");
    ChildProcess companion;
    ASSERT_TRUE(companion.Start({"wine", WinBuildDir() + "/tools/companion/tlyn_companion.exe", "--title",
                                 "Vostrel Serial Test Program - COM5", "--port", "5", "--log", "Z:" + log},
                                Bed::Get().env, folder->Dir(), folder->Path("companion.out"), false));
    auto logHas = [&](const std::string& line, std::chrono::milliseconds timeout) {
        return Eventually([&] { return ReadFile(log).find(line) != std::string::npos; }, timeout);
    };
    ASSERT_TRUE(logHas("ready", 20s));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(logHas("handover 1001 5", 10s));
    ASSERT_TRUE(LinkPort(kDevicePort, devicePath));

    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    EXPECT_TRUE(logHas("handover 1002 5", 5s));
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(device->EndMarkers(), 1u);
}

}  // namespace

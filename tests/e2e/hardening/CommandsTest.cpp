// Commands that reach the window while an update runs. The transfer dispatches one queued message
// per page, and that may be any command: each one posted mid-transfer does nothing, and the
// transfer ends with the exact image and the success box. While armed, a press of IDCANCEL goes the
// way of Done, which keeps the window open. In the idle window only a press of IDCANCEL ends it: a
// control numbered 1 or 2 that sends another notification ends nothing.
#include <gtest/gtest.h>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;

constexpr int kDevicePort = 5;
// The device holds back its answer to the third page while a command is posted. The window is read
// through its own thread, which takes one message a page: reading it after the sixth page takes
// about twenty pages, and the pages after that leave room for more.
constexpr unsigned kPages = 40;
constexpr unsigned kHeldPage = 2;

// WM_COMMAND with a control identifier and a notification code, as the probe posts it.
std::string PostCommand(unsigned id, unsigned code) { return "post 273 " + std::to_string((code << 16) | id) + " 0"; }

class Commands : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial4", "COM5"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }

    // The program with the firmware, the device on COM5, COM5 checked.
    void StartProgram(const std::string& name, bootsim::Options options) {
        firmware = MakeFirmware(kPages);
        ASSERT_NO_FATAL_FAILURE(ProgramTest::StartProgram("commands-" + name, firmware.hex,
                                                          DeviceOn{kDevicePort, options}, "2.32\nfirmware.hex\n"));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
    }

    bool Enabled(int id) {
        auto state = probe.State(id);
        return state && state->enabled;
    }

    // Everything but the chosen port's button is locked; Cancel Update only while armed.
    void ExpectLocked(bool cancelEnabled) {
        EXPECT_EQ(probe.Text(kBeginUpdate), "Cancel Update");
        EXPECT_EQ(Enabled(kBeginUpdate), cancelEnabled);
        for (int id : {kDone, kRefresh, kContactInfo, PortButton(3)}) {
            EXPECT_FALSE(Enabled(id)) << id;
        }
    }

    Firmware firmware;
};

struct CommandCase {
    const char* name;
    unsigned id;
    unsigned code;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

const CommandCase kCommands[] = {
    {"BeginUpdate", kBeginUpdate, 0},
    {"RefreshSerialPorts", kRefresh, 0},
    {"ChosenPortButton", PortButton(kDevicePort), 0},
    {"OtherPortButton", PortButton(3), 0},
    {"ContactInfo", kContactInfo, 0},
    {"IdOk", 1, 0},
    {"IdOkFromAnAccelerator", 1, 1},
    {"IdOkOtherCode", 1, 0x0300},
    {"IdCancel", 2, 0},
    {"IdCancelFromAnAccelerator", 2, 1},
    {"IdCancelOtherCode", 2, 0x0300},
};

class CommandDuringTransfer : public Commands, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandDuringTransfer, DoesNothing) {
    const CommandCase& c = GetParam();
    bootsim::Options options;
    options.attentionsBeforePresence = 1;  // the transfer is what the case is about
    ASSERT_NO_FATAL_FAILURE(StartProgram(std::string("transfer-") + c.name, options));
    device->HoldAnswerTo(kHeldPage);
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    // The program waits for the answer to the third page: the command waits for the next page's take.
    ASSERT_TRUE(device->WaitForHeldAnswer(kHeldPage, 20s));
    ASSERT_TRUE(probe.AskOk(PostCommand(c.id, c.code)));
    device->ReleaseHeldAnswer();
    ASSERT_TRUE(device->WaitForFrames(6, 20s));
    ExpectLocked(false);
    EXPECT_FALSE(probe.AskOk("wait-dialog 100")) << "a dialog opened mid-transfer";
    EXPECT_EQ(device->EndMarkers(), 0u) << "the transfer was over before the window was read";

    auto box = probe.WaitMessageBox(60s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    EXPECT_EQ(box->icon, "information");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    // Back to idle, the window stays open: no command taken mid-transfer ends it late.
    EXPECT_FALSE(program.WaitExit(300ms).has_value());
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(device->EndMarkers(), 1u);
    EXPECT_EQ(device->LastImage(), firmware.image);
    EXPECT_TRUE(device->ProtocolErrors().empty());
    EXPECT_EQ(probe.StoredPort(), kDevicePort);
    EXPECT_EQ(probe.Text(kResultLine), "Gathrix RS-232 Remote firmware successfully updated");
    EXPECT_EQ(probe.Text(kBeginUpdate), "Begin Update");
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kDone)));
    EXPECT_TRUE(program.WaitExit(10s).has_value());
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandDuringTransfer, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// No IDCANCEL ends an armed update: a press reaches Done, which refuses, and another notification
// is no press at all. Cancel Update then takes it down and Done ends the idle program.
class CancelWhileArmed : public Commands, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CancelWhileArmed, KeepsTheUpdateArmed) {
    const CommandCase& c = GetParam();
    bootsim::Options options;
    options.misbehaviour = bootsim::Misbehaviour::SilentToAttention;
    ASSERT_NO_FATAL_FAILURE(StartProgram(std::string("armed-") + c.name, options));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(2, 10s));
    ASSERT_TRUE(probe.AskOk(PostCommand(c.id, c.code)));
    EXPECT_FALSE(program.WaitExit(1500ms).has_value());
    ExpectLocked(true);
    const unsigned before = device->AttentionBytes();
    // Still armed: the attention bytes keep coming at their pace.
    EXPECT_TRUE(Eventually([&] { return device->AttentionBytes() >= before + 2; }, 1200ms))
        << "attention bytes: " << before << " then " << device->AttentionBytes();
    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kBeginUpdate)));
    EXPECT_TRUE(device->WaitForLineClosed(5s));
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kDone)));
    EXPECT_TRUE(program.WaitExit(10s).has_value());
}

INSTANTIATE_TEST_SUITE_P(Codes, CancelWhileArmed,
                         ::testing::Values(CommandCase{"IdCancel", 2, 0},
                                           CommandCase{"IdCancelFromAnAccelerator", 2, 1},
                                           CommandCase{"IdCancelOtherCode", 2, 0x0300}),
                         [](const auto& info) { return std::string(info.param.name); });

struct IdleCommand {
    const char* name;
    unsigned id;
    unsigned code;
    bool ends;
};
void PrintTo(const IdleCommand& c, std::ostream* os) { *os << c.name; }

class IdleWindow : public Commands, public ::testing::WithParamInterface<IdleCommand> {};

TEST_P(IdleWindow, OnlyAPressOfDoneEndsIt) {
    const IdleCommand& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartProgram(std::string("idle-") + c.name, bootsim::Options{}));
    ASSERT_TRUE(probe.AskOk(PostCommand(c.id, c.code)));
    EXPECT_EQ(program.WaitExit(c.ends ? 10s : 1500ms).has_value(), c.ends);
}

INSTANTIATE_TEST_SUITE_P(Codes, IdleWindow,
                         ::testing::Values(IdleCommand{"IdCancelPressed", 2, 0, true},
                                           IdleCommand{"IdCancelFromAnAccelerator", 2, 1, true},
                                           IdleCommand{"IdCancelGettingFocus", 2, 6, false},
                                           IdleCommand{"IdCancelOtherCode", 2, 0x0300, false},
                                           IdleCommand{"IdOkOtherCode", 1, 0x0300, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

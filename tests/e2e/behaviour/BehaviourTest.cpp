// The main window's behaviour around an update, as a user meets it: where it sits, what Enter and
// the close routes do when idle, armed and transferring, the system menu's state, the hidden
// Detailed Instructions button, and the status colours as they appear on the screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "Firmware.h"
#include "ProgramTest.h"
#include "tools/bootsim/Simulator.h"
#include "tests/support/HexWriter.h"

namespace {

using namespace e2e;

constexpr char kResetPrompt[] = "Press & release the Gathrix Base Reset button to start update.";
constexpr int kDevicePort = 5;
constexpr int kDetailed = kDetailedInstructions;
constexpr unsigned kGrayed = 0x1, kDisabled = 0x2;  // MF_GRAYED, MF_DISABLED
constexpr unsigned kNoItem = 0xFFFFFFFF;

// A device that never answers the attention byte: the update stays armed until cancelled.
bootsim::Options SilentDevice() {
    bootsim::Options options;
    options.misbehaviour = bootsim::Misbehaviour::SilentToAttention;
    return options;
}

// A device that answers the attention byte that earns it; the case holds back its answer to a page
// (kHeldPage) for as long as it acts on the transfer, and the pages after it still pass through the
// program's message pump.
bootsim::Options AnsweringDevice(unsigned attentionsBeforePresence) {
    bootsim::Options options;
    options.attentionsBeforePresence = attentionsBeforePresence;
    return options;
}

constexpr unsigned kHeldPage = 2;
constexpr unsigned kTransferPages = 8;

struct MenuState {
    unsigned close = kNoItem;
    unsigned about = kNoItem;
};

class Behaviour : public ProgramTest {
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

    // The program from a folder with the firmware, the device on COM5, COM5 checked.
    void StartProgram(const std::string& name, const Firmware& firmware, bootsim::Options options = {}) {
        ASSERT_NO_FATAL_FAILURE(
            ProgramTest::StartProgram("behaviour-" + name, firmware.hex, DeviceOn{kDevicePort, options}));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
    }

    bool Visible(int id) {
        auto state = probe.State(id);
        return state && state->visible;
    }

    std::optional<MenuState> ReadMenu() {
        auto answer = probe.AskOk("menu-state", 30s);
        if (!answer) return std::nullopt;
        auto f = Fields(*answer);
        MenuState menu;
        menu.close = static_cast<unsigned>(std::stoul(f["close"], nullptr, 16));
        menu.about = static_cast<unsigned>(std::stoul(f["about"], nullptr, 16));
        return menu;
    }

    static bool Greyed(unsigned state) { return state != kNoItem && (state & kGrayed) != 0; }
    static bool Offered(unsigned state) { return state != kNoItem && (state & (kGrayed | kDisabled)) == 0; }

    // Waits for the success box of a transfer, checks what the device got, and closes it. Keys
    // typed during the transfer wait in the queue (the transfer takes only its own posted
    // messages); the program drops them when the transfer ends, so they can't answer the box unseen.
    void ExpectTransferCompletes(const Firmware& firmware) {
        auto box = probe.WaitMessageBox(60s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "Firmware Update Complete");
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
        EXPECT_EQ(probe.Text(kResultLine), "Gathrix RS-232 Remote firmware successfully updated");
        EXPECT_EQ(probe.StoredPort(), kDevicePort);
        EXPECT_EQ(device->EndMarkers(), 1u);
        EXPECT_EQ(device->LastImage(), firmware.image);
    }

    // The window idle again and the program still running; Done then ends it.
    void ExpectIdleThenEndWithDone() {
        EXPECT_TRUE(program.Running());
        EXPECT_EQ(probe.Caption(), kCaption);
        EXPECT_EQ(probe.Text(kBeginUpdate), "Begin Update");
        EXPECT_FALSE(FileExists(tempDir + "/Hex.tmp"));
        ASSERT_TRUE(probe.AskOk("press " + std::to_string(kDone)));
        EXPECT_TRUE(program.WaitExit(10s).has_value());
    }

    std::string tempDir;
};

TEST_F(Behaviour, MainWindowSitsCentredAQuarterOfTheFreeHeightDown) {
    StartProgram("placement", MakeFirmware(1));
    auto rect = probe.AskOk("window-rect");
    ASSERT_TRUE(rect);
    int left = 0, top = 0, right = 0, bottom = 0, screenWidth = 0, screenHeight = 0;
    ASSERT_EQ(std::sscanf(rect->c_str(), "%d:%d:%d:%d screen=%d:%d", &left, &top, &right, &bottom, &screenWidth,
                          &screenHeight),
              6);
    EXPECT_EQ(left, (screenWidth - (right - left)) / 2);
    EXPECT_EQ(top, (screenHeight - (bottom - top)) / 4);
}

// --- The state an update puts the window in --------------------------------------------------

enum class Phase { Idle, Armed, Transferring };

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::Idle: return "Idle";
        case Phase::Armed: return "Armed";
        case Phase::Transferring: return "Transferring";
    }
    return "?";
}

class BehaviourInPhase : public Behaviour {
protected:
    // Starts the program and brings it into the phase.
    void Enter(Phase phase, const std::string& name) {
        firmware = MakeFirmware(phase == Phase::Transferring ? kTransferPages : 2);
        // Transferring, the device answers the first attention byte: the phase is the transfer's.
        bootsim::Options options = phase == Phase::Armed          ? SilentDevice()
                                   : phase == Phase::Transferring ? AnsweringDevice(1)
                                                                  : bootsim::Options{};
        StartProgram(name, firmware, options);
        if (phase == Phase::Idle) return;
        if (phase == Phase::Transferring) device->HoldAnswerTo(kHeldPage);
        ASSERT_TRUE(probe.Click(kBeginUpdate));
        if (phase == Phase::Armed) {
            ASSERT_TRUE(device->WaitForAttentionBytes(2, 10s));
        } else {
            // The program now waits for the answer to the third page, until the case lets it go.
            ASSERT_TRUE(device->WaitForHeldAnswer(kHeldPage, 20s));
        }
    }

    // The update goes on: while armed the attention bytes keep coming and the button still reads
    // "Cancel Update"; while transferring the image arrives whole.
    void ExpectUpdateGoesOnThenEnd(Phase phase) {
        if (phase == Phase::Armed) {
            // Two attention periods and more, to see the bytes keep coming.
            unsigned before = device->AttentionBytes();
            std::this_thread::sleep_for(1200ms);
            EXPECT_GE(device->AttentionBytes(), before + 2);
            EXPECT_TRUE(program.Running());
            EXPECT_EQ(probe.Text(kBeginUpdate), "Cancel Update");
            EXPECT_TRUE(device->LineOpen());
            ASSERT_TRUE(probe.AskOk("press " + std::to_string(kBeginUpdate)));
            EXPECT_TRUE(device->WaitForLineClosed(5s));
            EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
        } else {
            EXPECT_EQ(device->EndMarkers(), 0u) << "the transfer was over before the attempt";
            device->ReleaseHeldAnswer();
            ExpectTransferCompletes(firmware);
        }
        ExpectIdleThenEndWithDone();
    }

    Firmware firmware;
};

// --- Enter ------------------------------------------------------------------------------------

struct EnterCase {
    const char* name;
    Phase phase;
    bool key;  // the Enter key with a port button focused; else WM_COMMAND IDOK posted
};

class EnterKey : public BehaviourInPhase, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterKey, DoesNothing) {
    const EnterCase& c = GetParam();
    Enter(c.phase, std::string("enter-") + c.name);
    if (c.key) {
        // With no push button focused Enter is the dialog's IDOK.
        ASSERT_TRUE(probe.AskOk("press " + std::to_string(PortButton(kDevicePort))));
        ASSERT_TRUE(Eventually([&] { return probe.AskOk("focus-in") == std::to_string(PortButton(kDevicePort)); }, 5s));
        ASSERT_TRUE(probe.AskOk("keys 13"));
    } else {
        ASSERT_TRUE(probe.AskOk("post 273 1 0"));
    }
    EXPECT_TRUE(probe.NoMessageBox(800ms));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(probe.Caption(), kCaption);
    if (c.phase == Phase::Idle) {
        EXPECT_EQ(probe.Text(kBeginUpdate), "Begin Update");
        EXPECT_FALSE(device->LineOpen());
        ExpectIdleThenEndWithDone();
    } else {
        ExpectUpdateGoesOnThenEnd(c.phase);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EnterKey,
                         ::testing::Values(EnterCase{"IdleEnterKey", Phase::Idle, true},
                                           EnterCase{"IdleIdOk", Phase::Idle, false},
                                           EnterCase{"ArmedEnterKey", Phase::Armed, true},
                                           EnterCase{"ArmedIdOk", Phase::Armed, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The ways out -----------------------------------------------------------------------------

struct CloseRoute {
    const char* name;
    const char* command;  // probe command
    bool keys;            // hardware input, not a posted message
};

// Hardware keys wait in the queue while the transfer runs, which takes only its own posted
// messages; the same keys posted as messages reach the window in the middle of the transfer.
const CloseRoute kCloseRoutes[] = {
    {"EscapeKey", "keys 27", true},
    {"AltF4", "keys 18+115", true},                     // Alt held, F4, with the window in the foreground
    {"EscapeKeyMessage", "key 27", false},              // WM_KEYDOWN, WM_KEYUP to the focused control
    {"AltF4Message", "post 260 115 536870913", false},  // WM_SYSKEYDOWN VK_F4 with the Alt bit
    {"CaptionCloseButton", "post 274 61536 0", false},  // WM_SYSCOMMAND SC_CLOSE
    {"WmCloseFromOutside", "post 16 0 0", false},       // WM_CLOSE
    {"IdCancelCommand", "post 273 2 0", false},         // WM_COMMAND IDCANCEL
};

class WayOut : public BehaviourInPhase, public ::testing::WithParamInterface<std::tuple<CloseRoute, Phase>> {};

// Each route ends the idle program, and none ends it while an update is armed or transferring.
TEST_P(WayOut, EndsOnlyTheIdleProgram) {
    auto [route, phase] = GetParam();
    Enter(phase, std::string("wayout-") + route.name + "-" + PhaseName(phase));
    ASSERT_TRUE(probe.AskOk(route.command)) << route.command;
    if (phase == Phase::Idle) {
        EXPECT_TRUE(program.WaitExit(10s).has_value());
        return;
    }
    EXPECT_FALSE(program.WaitExit(1500ms).has_value());
    ExpectUpdateGoesOnThenEnd(phase);
}

INSTANTIATE_TEST_SUITE_P(Routes, WayOut,
                         ::testing::Combine(::testing::ValuesIn(kCloseRoutes),
                                            ::testing::Values(Phase::Idle, Phase::Armed, Phase::Transferring)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    PhaseName(std::get<1>(info.param));
                         });

// --- System menu and the hidden button --------------------------------------------------------

TEST_F(Behaviour, SystemMenuCloseAndAboutGreyedOnlyWhileAnUpdateRuns) {
    Firmware firmware = MakeFirmware(kTransferPages);
    // Armed until the case presses the device's reset.
    StartProgram("system-menu", firmware, AnsweringDevice(kUntilResetPressed));
    device->HoldAnswerTo(kHeldPage);
    auto idle = ReadMenu();
    ASSERT_TRUE(idle);
    EXPECT_TRUE(Offered(idle->close)) << std::hex << idle->close;
    EXPECT_TRUE(Offered(idle->about)) << std::hex << idle->about;
    EXPECT_FALSE(Visible(kDetailed));

    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(1, 10s));
    auto armed = ReadMenu();
    ASSERT_TRUE(armed);
    EXPECT_EQ(device->PresenceBytesSent(), 0u) << "read after the update was armed";
    EXPECT_TRUE(Greyed(armed->close)) << std::hex << armed->close;
    EXPECT_TRUE(Greyed(armed->about)) << std::hex << armed->about;
    EXPECT_FALSE(Visible(kDetailed));

    device->PressReset();
    ASSERT_TRUE(device->WaitForHeldAnswer(kHeldPage, 20s));
    auto transferring = ReadMenu();
    ASSERT_TRUE(transferring);
    EXPECT_EQ(device->EndMarkers(), 0u) << "read after the transfer";
    EXPECT_TRUE(Greyed(transferring->close)) << std::hex << transferring->close;
    EXPECT_TRUE(Greyed(transferring->about)) << std::hex << transferring->about;
    // A control is read through the window's own thread, which takes a message only between pages.
    device->ReleaseHeldAnswer();
    EXPECT_FALSE(Visible(kDetailed));

    ExpectTransferCompletes(firmware);
    auto after = ReadMenu();
    ASSERT_TRUE(after);
    EXPECT_TRUE(Offered(after->close)) << std::hex << after->close;
    EXPECT_TRUE(Offered(after->about)) << std::hex << after->about;
    EXPECT_FALSE(Visible(kDetailed));
}

// --- Colours as seen ----------------------------------------------------------------------------

struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    size_t Count(auto match) const {
        size_t n = 0;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            n += match(rgb[i], rgb[i + 1], rgb[i + 2]) ? 1 : 0;
        }
        return n;
    }
    size_t StatusRed() const {
        return Count([](int r, int g, int b) { return r == 192 && g == 0 && b == 0; });
    }
    size_t Reddish() const {
        return Count([](int r, int g, int b) { return r > 100 && r > 2 * g + 40 && r > 2 * b + 40; });
    }
    size_t Dark() const {
        return Count([](int r, int g, int b) { return r + g + b < 240; });
    }
};

// The control's rectangle cut from a screenshot, through ImageMagick's plain PPM output.
std::optional<Pixels> Crop(const std::string& shot, const ControlState& control, int originX, int originY) {
    std::string png = WorkDir() + "/screenshots/" + shot + ".png";
    std::string ppm = WorkDir() + "/screenshots/" + shot + "-" + std::to_string(control.id) + ".ppm";
    char geometry[64];
    std::snprintf(geometry, sizeof(geometry), "%dx%d+%d+%d", control.right - control.left, control.bottom - control.top,
                  originX + control.left, originY + control.top);
    std::string command = "convert '" + png + "' -crop " + geometry + " +repage -depth 8 'ppm:" + ppm + "'";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    std::string data = ReadFile(ppm);
    Pixels pixels;
    int maxValue = 0, consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &pixels.width, &pixels.height, &maxValue, &consumed) != 3 ||
        maxValue != 255) {
        return std::nullopt;
    }
    size_t start = static_cast<size_t>(consumed) + 1;
    size_t size = static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height) * 3;
    if (data.size() < start + size) return std::nullopt;
    pixels.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(start),
                      data.begin() + static_cast<std::ptrdiff_t>(start + size));
    return pixels;
}

TEST_F(Behaviour, StatusLinesRedOnlyWhereAndWhenTheyShouldBe) {
    Firmware firmware = MakeFirmware(3);
    // Armed until the case presses the device's reset.
    StartProgram("colours", firmware, AnsweringDevice(kUntilResetPressed));
    auto origin = probe.AskOk("client-origin");
    ASSERT_TRUE(origin);
    int originX = 0, originY = 0;
    ASSERT_EQ(std::sscanf(origin->c_str(), "%d:%d", &originX, &originY), 2);
    auto product = probe.State(kProductLine);
    auto result = probe.State(kResultLine);
    ASSERT_TRUE(product && result);

    ASSERT_TRUE(probe.Screenshot("colours-idle-window"));
    auto idleProduct = Crop("colours-idle-window", *product, originX, originY);
    ASSERT_TRUE(idleProduct);
    EXPECT_GT(idleProduct->StatusRed(), 20u);

    // Armed: the prompt, while it shows, in dark red. A screenshot counts only when the prompt
    // showed both before and after it was taken.
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(1, 10s));
    std::optional<Pixels> armedResult;
    Eventually(
        [&] {
            if (probe.Text(kResultLine) == kResetPrompt && probe.Screenshot("colours-armed-window") &&
                probe.Text(kResultLine) == kResetPrompt) {
                armedResult = Crop("colours-armed-window", *result, originX, originY);
            }
            return armedResult.has_value();
        },
        5s, 100ms);
    ASSERT_TRUE(armedResult) << "no screenshot with the prompt showing";
    EXPECT_EQ(device->PresenceBytesSent(), 0u) << "taken after the update was armed";
    EXPECT_GT(armedResult->StatusRed(), 20u);
    device->PressReset();

    // After the transfer: the outcome in the normal colour, the product line still red.
    auto box = probe.WaitMessageBox(60s);
    ASSERT_TRUE(box);
    ASSERT_TRUE(probe.CloseMessageBox());
    ASSERT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    ASSERT_EQ(probe.Text(kResultLine), "Gathrix RS-232 Remote firmware successfully updated");
    ASSERT_TRUE(probe.Screenshot("colours-after-update"));
    auto outcome = Crop("colours-after-update", *result, originX, originY);
    ASSERT_TRUE(outcome);
    EXPECT_GT(outcome->Dark(), 20u) << "the outcome text is on the screen";
    EXPECT_EQ(outcome->Reddish(), 0u);
    auto afterProduct = Crop("colours-after-update", *product, originX, originY);
    ASSERT_TRUE(afterProduct);
    EXPECT_GT(afterProduct->StatusRed(), 20u);
}

}  // namespace

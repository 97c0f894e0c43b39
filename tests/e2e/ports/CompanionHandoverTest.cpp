// The hand-over with the maker's serial test program (here its stand-in): when the update's port
// won't open, every visible window titled like that program is asked to let the port go, the
// program waits a second and tries once more, and when the update is over the port is offered back.
// Wine opens a COM port even while another process holds it, so a port that won't open is one
// pointed at a directory; "the companion lets go" is the test pointing it back at the device.
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "PortsFixture.h"
#include "tools/bootsim/Simulator.h"

namespace {

using namespace ports;

constexpr int kPort = 9;
const PortList kInstalled = {{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial8", "COM9"}};

struct CompanionWindow {
    const char* title;
    bool hidden;
    bool ignoreRelease;
    bool told;  // expected to receive the release and, after it, the reclaim
};

// One stand-in window holding COM9, and the events it logged.
class Companion {
public:
    bool Start(const ProgramFolder& folder, int index, const CompanionWindow& window) {
        const std::string base = folder.Path("companion" + std::to_string(index));
        log_ = base + ".log";
        std::vector<std::string> argv = {"wine",    WinBuildDir() + "/tools/companion/tlyn_companion.exe",
                                         "--title", window.title,
                                         "--port",  std::to_string(kPort),
                                         "--log",   "Z:" + log_};
        if (window.hidden) argv.push_back("--hidden");
        if (window.ignoreRelease) argv.push_back("--ignore-release");
        return process_.Start(argv, Bed::Get().env, folder.Dir(), base + ".out", false) && Logged("ready", 20s);
    }

    // The hand-over messages received so far, as "wParam lParam", in order of arrival.
    std::vector<std::string> Handovers() const {
        std::vector<std::string> seen;
        std::istringstream in(ReadFile(log_));
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("handover ", 0) == 0) seen.push_back(line.substr(9));
        }
        return seen;
    }

    bool WaitHandovers(size_t count, std::chrono::milliseconds timeout) const {
        return Eventually([&] { return Handovers().size() >= count; }, timeout);
    }

    void End() { process_.Kill(); }

private:
    bool Logged(const std::string& line, std::chrono::milliseconds timeout) const {
        return Eventually([&] { return ReadFile(log_).find(line + "\n") != std::string::npos; }, timeout);
    }

    ChildProcess process_;
    std::string log_;
};

const std::vector<std::string> kReleaseOnly = {"1001 9"};
const std::vector<std::string> kReleaseThenReclaim = {"1001 9", "1002 9"};
const std::vector<std::string> kNothing = {};

class Handover : public PortsTest {
protected:
    void SetUp() override {
        PortsTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts(kInstalled));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }

    void TearDown() override {
        PortsTest::TearDown();
        for (Companion& companion : companions) {
            companion.End();
        }
        LinkPort(kPort, "");
    }

    // The program with COM9 checked, COM9 made unopenable, and the companion windows running.
    void StartWithCompanions(const std::string& name, const std::vector<CompanionWindow>& windows) {
        ASSERT_NO_FATAL_FAILURE(StartProgram(name));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
        ASSERT_NO_FATAL_FAILURE(CheckPort(kPort));
        std::filesystem::create_directories(folder->Path("held"));
        ASSERT_TRUE(LinkPort(kPort, folder->Path("held")));
        companions.reserve(windows.size());
        for (size_t i = 0; i < windows.size(); ++i) {
            companions.emplace_back();
            ASSERT_TRUE(companions.back().Start(*folder, static_cast<int>(i), windows[i])) << windows[i].title;
        }
    }

    std::vector<Companion> companions;
};

// The program's own slack between the click and the message box stays well below the one-second
// wait, even under Wine on a busy machine.
constexpr auto kNoWaitBelow = 600ms;
// The wait is one second by the tick counter, which moves in steps of about 16 ms.
constexpr auto kWaitAtLeast = 980ms;

struct OpenFailureCase {
    const char* name;
    std::vector<CompanionWindow> windows;
};

class HandoverWhenThePortStaysShut : public Handover, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(HandoverWhenThePortStaysShut, ReportsThePortAndReclaimsOnlyWhatItAskedFor) {
    const OpenFailureCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartWithCompanions(std::string("shut-") + c.name, c.windows));
    bool anyTold = false;
    for (const CompanionWindow& window : c.windows) {
        anyTold |= window.told;
    }

    auto elapsed = probe.ClickUntilMessageBox(kBeginUpdate, 15s);
    ASSERT_TRUE(elapsed);
    auto box = probe.WaitMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, "Unable to open serial port COM9     ");
    EXPECT_EQ(box->icon, "exclamation");
    std::cout << "[ timing   ] Begin Update to the message: " << elapsed->count() << " ms\n";
    if (anyTold) {
        EXPECT_GE(*elapsed, kWaitAtLeast);
    } else {
        EXPECT_LT(*elapsed, kNoWaitBelow);
    }

    // While the message is up only the release has gone out; the reclaim follows the message.
    for (size_t i = 0; i < c.windows.size(); ++i) {
        SCOPED_TRACE(c.windows[i].title);
        if (c.windows[i].told) {
            EXPECT_TRUE(companions[i].WaitHandovers(1, 3s));
        }
        EXPECT_EQ(companions[i].Handovers(), c.windows[i].told ? kReleaseOnly : kNothing);
    }
    ASSERT_TRUE(probe.CloseMessageBox());
    for (size_t i = 0; i < c.windows.size(); ++i) {
        SCOPED_TRACE(c.windows[i].title);
        if (c.windows[i].told) {
            EXPECT_TRUE(companions[i].WaitHandovers(2, 5s));
        }
    }
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));

    // Done offers nothing more: the hand-over is no longer outstanding.
    ASSERT_TRUE(probe.Click(kDone));
    ASSERT_TRUE(program.WaitExit(10s));
    // Nothing more reaches the companions: watched for half a second.
    std::this_thread::sleep_for(500ms);
    for (size_t i = 0; i < c.windows.size(); ++i) {
        SCOPED_TRACE(c.windows[i].title);
        EXPECT_EQ(companions[i].Handovers(), c.windows[i].told ? kReleaseThenReclaim : kNothing);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HandoverWhenThePortStaysShut,
                         ::testing::Values(OpenFailureCase{"NoCompanionNoWait", {}},
                                           OpenFailureCase{"HiddenAndOneLetterShortTitlesAreNotAsked",
                                                           {{"Vostrel Serial Test Program - COM9", true, false, false},
                                                            {"Vostrel Serivan", false, false, false},
                                                            {"Vostrel Serial Test Progra", false, false, false}}},
                                           OpenFailureCase{"IgnoredReleaseIsFollowedByTheReclaim",
                                                           {{"Vostrel Serial Test Program - COM9", false, true, true}}},
                                           OpenFailureCase{"LowerCaseFirstPrefixWithMoreTextIsAsked",
                                                           {{"vostrel serivane - port monitor", false, true, true}}},
                                           OpenFailureCase{"HiddenWindowPassedOverBesideAnAskedOne",
                                                           {{"Vostrel Serivane", true, true, false},
                                                            {"Vostrel Serivane Terminal", false, true, true}}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two companion windows, the exact first prefix and the second prefix with more text, both get the
// release for COM9; once the port is free the update goes through, and both get the port back.
TEST_F(Handover, TwoCompanionWindowsReleaseAndGetThePortBack) {
    ASSERT_NO_FATAL_FAILURE(StartDevice(DeviceOn{kPort}));
    const std::string devicePath = std::filesystem::read_symlink(Bed::Get().PortLink(kPort));
    ASSERT_NO_FATAL_FAILURE(StartWithCompanions(
        "two-companions",
        {{"Vostrel Serivane", false, false, true}, {"Vostrel Serial Test Program - COM9", false, false, true}}));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    // The program waits a second after asking: the port is freed within it.
    ASSERT_TRUE(companions[0].WaitHandovers(1, 10s));
    ASSERT_TRUE(LinkPort(kPort, devicePath));
    EXPECT_TRUE(companions[1].WaitHandovers(1, 2s));

    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    EXPECT_EQ(box->text, "The Gathrix RS-232 Remote firmware has been successfully updated.     ");
    for (const Companion& companion : companions) {
        EXPECT_TRUE(companion.WaitHandovers(2, 5s));
        EXPECT_EQ(companion.Handovers(), kReleaseThenReclaim);
    }
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(device->EndMarkers(), 1u);
    EXPECT_EQ(device->Frames().size(), 1u);
    EXPECT_EQ(probe.StoredPort(), kPort);
}

}  // namespace

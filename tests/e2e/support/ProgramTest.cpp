#include "ProgramTest.h"

#include <map>

namespace e2e {

void ProgramTest::SetUp() {
    ASSERT_TRUE(probe.Start()) << "no probe: is the test bed started (tests/bed/winbed.sh start build/bed)?";
    probeStarted_ = true;
    savedList_ = probe.InstalledPorts();
    savedPort_ = probe.StoredPort();
}

void ProgramTest::TearDown() {
    if (!probeStarted_) return;
    EndProgram();
    std::vector<std::string> errors;
    if (device) {
        errors = device->ProtocolErrors();
        device->Stop();
    }
    if (devicePort_ != 0) LinkPort(devicePort_, "");
    if (savedList_) {
        EXPECT_TRUE(
            probe.SetInstalledPorts(std::map<std::string, std::string>(savedList_->begin(), savedList_->end())));
    } else {
        EXPECT_TRUE(probe.RemoveInstalledPortList());
    }
    EXPECT_TRUE(savedPort_ ? probe.StorePort(*savedPort_) : probe.ForgetStoredPort());
    std::string seen;
    for (const std::string& error : errors) seen += "\n  " + error;
    EXPECT_TRUE(errors.empty()) << "the device saw the program break the protocol:" << seen;
}

// Boxes and dialogs answered, an update cancelled or run to its end, then Done; a program that
// still won't go is killed.
void ProgramTest::EndProgram() {
    for (int round = 0; round < 3 && program.Running(); ++round) {
        while (probe.AskOk("msgbox 200", 5s)) probe.CloseMessageBox();
        if (probe.AskOk("wait-dialog 100")) {
            probe.AskOk("dialog-click 1");
            probe.AskOk("no-dialog 3000", 8s);
        }
        if (probe.Text(kBeginUpdate) != "Cancel Update") break;
        // Armed, it cancels; transferring, the button is locked and the transfer ends by itself.
        probe.Click(kBeginUpdate);
        Eventually([&] { return probe.Text(kBeginUpdate) != "Cancel Update" || probe.AskOk("msgbox 0"); }, 60s, 100ms);
    }
    if (program.Running()) {
        probe.Click(kDone);
        if (!program.WaitExit(10s)) program.Kill();
    }
}

void ProgramTest::StartProgram(const std::string& name, const std::string& hex, std::optional<DeviceOn> on,
                               const std::string& description) {
    folder.emplace(name);
    ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", description));
    ASSERT_TRUE(folder->Put("firmware.hex", hex));
    StartWithDevice(folder->Dir(), std::move(on));
}

void ProgramTest::StartProgramIn(const std::string& directory, std::optional<DeviceOn> on) {
    StartWithDevice(directory, std::move(on));
}

void ProgramTest::StartWithDevice(const std::string& directory, std::optional<DeviceOn> on) {
    if (on) {
        ASSERT_NO_FATAL_FAILURE(StartDevice(*on));
    }
    ASSERT_TRUE(program.Start(directory));
    ASSERT_TRUE(probe.WaitWindow(kCaption));
    if (on) {
        ASSERT_NO_FATAL_FAILURE(CheckPort(on->port));
    }
}

void ProgramTest::StartDevice(DeviceOn on) {
    if (device) device->Stop();
    devicePort_ = on.port;
    device = std::make_unique<bootsim::Simulator>(on.options);
    ASSERT_TRUE(device->Start(Bed::Get().PortLink(on.port))) << "no simulated device on COM" << on.port;
}

void ProgramTest::CheckPort(int port) {
    ASSERT_TRUE(probe.AskOk("press " + std::to_string(PortButton(port))));
    EXPECT_TRUE(Eventually(
        [&] {
            auto state = probe.State(PortButton(port));
            return state && state->checked == 1;
        },
        5s))
        << "COM" << port << " never showed checked";
}

bool ProgramTest::TextBecomes(int id, const std::string& text, std::chrono::milliseconds deadline) {
    return Eventually([&] { return probe.Text(id) == text; }, deadline);
}

}  // namespace e2e

#include "ProgramTest.h"

#include <map>

#include "tools/probe/TextCoding.h"

namespace e2e {

void ProgramTest::SetUp() {
    ASSERT_TRUE(probe.Start(environment_))
        << "no probe: is the test bed started (tests/bed/winbed.sh start build/bed)?";
    probeStarted_ = true;
    savedList_ = probe.InstalledPorts();
    savedPort_ = probe.StoredPort();
}

void ProgramTest::TearDown() {
    if (!probeStarted_) return;
    EndProgram();
    StopDevice();
    RestoreValues();
    if (savedList_) {
        EXPECT_TRUE(
            probe.SetInstalledPorts(std::map<std::string, std::string>(savedList_->begin(), savedList_->end())));
    } else {
        EXPECT_TRUE(probe.RemoveInstalledPortList());
    }
    EXPECT_TRUE(savedPort_ ? probe.StorePort(*savedPort_) : probe.ForgetStoredPort());
    std::string seen;
    for (const std::string& error : protocolErrors_) seen += "\n  " + error;
    EXPECT_TRUE(protocolErrors_.empty()) << "a device saw the program break the protocol:" << seen;
}

// The device stopped and its port unlinked, what it saw kept for the verdict.
void ProgramTest::StopDevice() {
    if (device) {
        for (std::string& error : device->ProtocolErrors()) {
            protocolErrors_.push_back("on COM" + std::to_string(devicePort_) + ": " + std::move(error));
        }
        device->Stop();
        device.reset();
    }
    if (devicePort_ != 0) LinkPort(devicePort_, "");
    devicePort_ = 0;
}

// Put back last first, so that a value kept twice ends as it was before the first.
void ProgramTest::RestoreValues() {
    for (auto kept = keptValues_.rbegin(); kept != keptValues_.rend(); ++kept) {
        EXPECT_TRUE(probe.PutValue(kept->first, kept->second))
            << "could not put back " << kept->first.root << "\\" << kept->first.key << " " << kept->first.name;
    }
    keptValues_.clear();
}

void ProgramTest::KeepValue(const RegistryPlace& place) {
    auto value = probe.Value(place);
    ASSERT_TRUE(value) << "could not read " << place.root << "\\" << place.key << " " << place.name;
    keptValues_.emplace_back(place, *value);
}

// Wine hands a program these from the user's environment when it starts.
void ProgramTest::UseTemporaryFolder(const std::string& windowsPath) {
    const RegistryValue path{1, windowsPath + std::string(1, '\0')};  // REG_SZ, as stored
    for (const char* variable : {"TEMP", "TMP"}) {
        const RegistryPlace place{"HKCU", "Environment", variable};
        ASSERT_NO_FATAL_FAILURE(KeepValue(place));
        ASSERT_TRUE(probe.PutValue(place, path)) << "could not set " << variable;
    }
}

// The values the probe's shell-open-set writes.
void ProgramTest::OpenAddressesWith(const std::string& protocol, const std::string& command) {
    for (const char* name : {"", "URL Protocol"}) {
        ASSERT_NO_FATAL_FAILURE(KeepValue({"HKCR", protocol, name}));
    }
    ASSERT_NO_FATAL_FAILURE(KeepValue({"HKCR", protocol + "\\shell\\open\\command", ""}));
    ASSERT_TRUE(probe.AskOk("shell-open-set " + protocol + " " + probe::EncodeText(command)));
}

// Boxes and dialogs answered, an update cancelled or run to its end, then Done; a program that
// still won't go is killed.
void ProgramTest::EndProgram() {
    for (int round = 0; round < 3 && program.Running(); ++round) {
        // What is up now, without waiting for more: a box that comes later ends with the program.
        while (probe.AskOk("msgbox 0", 5s)) probe.CloseMessageBox();
        if (probe.AskOk("wait-dialog 0")) {
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
    StartWithDevice(folder->Dir(), std::move(on), "TLYN_Update.exe");
}

void ProgramTest::StartProgramIn(const std::string& directory, std::optional<DeviceOn> on,
                                 const std::string& programName) {
    StartWithDevice(directory, std::move(on), programName);
}

void ProgramTest::StartWithDevice(const std::string& directory, std::optional<DeviceOn> on,
                                  const std::string& programName) {
    if (on) {
        ASSERT_NO_FATAL_FAILURE(StartDevice(*on));
    }
    ASSERT_TRUE(program.Start(directory, programName, environment_));
    ASSERT_TRUE(probe.WaitWindow(kCaption));
    if (on) {
        ASSERT_NO_FATAL_FAILURE(CheckPort(on->port));
    }
}

void ProgramTest::StartDevice(DeviceOn on) {
    StopDevice();
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

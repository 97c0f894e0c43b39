// The base of every end-to-end case: the probe, the installed-port list and the stored port as the
// case found them, the program started from a folder with a firmware file, and a simulated device
// on a port when the case wants one. Whatever a case leaves behind, its teardown ends it: message
// boxes and dialogs closed, an armed update cancelled, the program ended, the device stopped and
// its port unlinked, the list, the stored port and every value the case kept put back. It also
// fails the case when any device the case started saw the program break the protocol.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Eventually.h"
#include "Session.h"
#include "Window.h"
#include "tools/bootsim/Simulator.h"

namespace e2e {

// A simulated device on COMn.
struct DeviceOn {
    int port = 0;
    bootsim::Options options = {};
};

// Attention bytes before the device answers, far more than any case waits for: the update stays
// armed until the case calls device->PressReset().
inline constexpr unsigned kUntilResetPressed = 1000;

inline constexpr char kDescription[] = "2.32 (sample)\nfirmware.hex\n";

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() = default;
    // The probe and the program run with these variables over the bed's (a locale, say).
    explicit ProgramTest(Environment environment) : environment_(std::move(environment)) {}

    void SetUp() override;
    void TearDown() override;

    // A fresh folder `name` holding the program, the description and firmware.hex, the device (if
    // any) started on its port, the program started and its window found. With a device, its
    // port's button is checked.
    void StartProgram(const std::string& name, const std::string& hex, std::optional<DeviceOn> on = std::nullopt,
                      const std::string& description = kDescription);
    // The same from a folder the case made itself, which already holds the program and its files.
    void StartProgramIn(const std::string& directory, std::optional<DeviceOn> on = std::nullopt,
                        const std::string& programName = "TLYN_Update.exe");

    // A device on the port, in place of one started before; what that one saw is still judged.
    void StartDevice(DeviceOn on);
    // The value as it is now comes back in the teardown, whatever the case does to it.
    void KeepValue(const RegistryPlace& place);
    // The program started from now on takes `windowsPath` as its temporary folder (TEMP and TMP),
    // until the teardown puts the user's back.
    void UseTemporaryFolder(const std::string& windowsPath);
    // The shell opens addresses of the protocol (mailto, http) with `command` until the teardown,
    // which puts the user's program back.
    void OpenAddressesWith(const std::string& protocol, const std::string& command);
    // Checks the port's button and waits until the window shows it checked.
    void CheckPort(int port);
    // True as soon as the window's control reads `text`.
    bool TextBecomes(int id, const std::string& text, std::chrono::milliseconds deadline = 10s);

    Probe probe;
    Program program;
    std::optional<ProgramFolder> folder;
    std::unique_ptr<bootsim::Simulator> device;

private:
    void EndProgram();
    void StopDevice();
    void RestoreValues();
    void StartWithDevice(const std::string& directory, std::optional<DeviceOn> on, const std::string& programName);

    Environment environment_;
    int devicePort_ = 0;
    std::vector<std::string> protocolErrors_;  // of every device stopped so far
    std::vector<std::pair<RegistryPlace, std::optional<RegistryValue>>> keptValues_;
    bool probeStarted_ = false;
    std::optional<std::vector<std::pair<std::string, std::string>>> savedList_;
    std::optional<int> savedPort_;
};

}  // namespace e2e

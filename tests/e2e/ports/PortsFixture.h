// What the port tests share: the probe, the program started from a folder with a firmware file,
// a reading of all 22 port buttons with Begin Update, and the installed-port list and the stored
// port put back as they were before the case.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Session.h"

namespace ports {

using namespace e2e;

inline constexpr char kCaption[] = "Gathrix RS-232 Remote Firmware Update";
inline constexpr int kDone = 2;
inline constexpr int kBeginUpdate = 1006;
inline constexpr int kRefresh = 1012;

constexpr int ButtonOf(int port) { return 2000 + port; }

// Registry value name -> data, as the installed-port list holds them.
using PortList = std::map<std::string, std::string>;

class PortsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The program from a fresh folder holding a description and a one-page firmware file.
    void StartProgram(const std::string& name);

    // Exactly these ports' buttons enabled, `checked` the one checked button (0: none), and
    // Begin Update in the given state.
    void ExpectPorts(const std::set<int>& enabled, int checked, bool beginEnabled);

    Probe probe;
    Program program;
    std::optional<ProgramFolder> folder;

private:
    std::optional<std::vector<std::pair<std::string, std::string>>> savedList_;
    std::optional<int> savedPort_;
};

}  // namespace ports

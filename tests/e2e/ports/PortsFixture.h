// What the port tests share beyond the base: the program started from a folder with a firmware
// file, and a reading of all 22 port buttons with Begin Update.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ProgramTest.h"

namespace ports {

using namespace e2e;

constexpr int ButtonOf(int port) { return PortButton(port); }

// Registry value name -> data, as the installed-port list holds them.
using PortList = std::map<std::string, std::string>;

class PortsTest : public ProgramTest {
protected:
    // The program from a fresh folder holding a description and a one-page firmware file.
    void StartProgram(const std::string& name);

    // Exactly these ports' buttons enabled, `checked` the one checked button (0: none), and
    // Begin Update in the given state.
    void ExpectPorts(const std::set<int>& enabled, int checked, bool beginEnabled);
};

}  // namespace ports

#include "PortsFixture.h"

#include <string>

namespace ports {

void PortsTest::StartProgram(const std::string& name) {
    ProgramTest::StartProgram("ports-" + name, ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n");
}

void PortsTest::ExpectPorts(const std::set<int>& enabled, int checked, bool beginEnabled) {
    auto controls = probe.Controls();
    ASSERT_TRUE(controls);
    std::map<int, ControlState> byId;
    for (const ControlState& c : *controls) {
        byId[c.id] = c;
    }
    for (int port = 1; port <= 22; ++port) {
        auto it = byId.find(ButtonOf(port));
        ASSERT_NE(it, byId.end()) << "COM" << port;
        EXPECT_EQ(it->second.text, "COM" + std::to_string(port));
        EXPECT_EQ(it->second.enabled, enabled.count(port) == 1) << "COM" << port << " enabled";
        EXPECT_EQ(it->second.checked, port == checked ? 1 : 0) << "COM" << port << " checked";
    }
    auto begin = byId.find(kBeginUpdate);
    ASSERT_NE(begin, byId.end());
    EXPECT_EQ(begin->second.text, "Begin Update");
    EXPECT_EQ(begin->second.enabled, beginEnabled) << "Begin Update enabled";
}

}  // namespace ports

#include "PortsFixture.h"

#include <string>

namespace ports {

void PortsTest::SetUp() {
    ASSERT_TRUE(probe.Start());
    savedList_ = probe.InstalledPorts();
    savedPort_ = probe.StoredPort();
}

void PortsTest::TearDown() {
    while (probe.AskOk("msgbox 200", 5s)) {
        probe.CloseMessageBox();
    }
    probe.Click(kDone);
    program.WaitExit(10s);
    if (savedList_) {
        EXPECT_TRUE(probe.SetInstalledPorts(PortList(savedList_->begin(), savedList_->end())));
    } else {
        EXPECT_TRUE(probe.RemoveInstalledPortList());
    }
    EXPECT_TRUE(savedPort_ ? probe.StorePort(*savedPort_) : probe.ForgetStoredPort());
}

void PortsTest::StartProgram(const std::string& name) {
    folder.emplace("ports-" + name);
    ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", "2.32 (sample)\nfirmware.hex\n"));
    ASSERT_TRUE(folder->Put("firmware.hex", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n"));
    ASSERT_TRUE(program.Start(*folder));
    ASSERT_TRUE(probe.WaitWindow(kCaption));
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

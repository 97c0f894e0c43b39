// Which port buttons the window offers and which one it checks, from the installed-port list in the
// registry and the port of the last successful update, at start and on "Refresh Serial Ports".
#include <thread>

#include "PortsFixture.h"

namespace {

using namespace ports;

const PortList kCom3AndCom7 = {{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial6", "COM7"}};

struct StartCase {
    const char* name;
    PortList installed;
    std::optional<int> stored;
    std::set<int> enabled;
    int checked;  // 0: none
    bool beginEnabled;
    // The data in the order the registry enumerates it, when the case depends on that order.
    std::vector<std::string> registryOrder = {};
};

class PortsAtStart : public PortsTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(PortsAtStart, EnablesTheInstalledPortsAndChecksOne) {
    const StartCase& c = GetParam();
    ASSERT_TRUE(probe.SetInstalledPorts(c.installed));
    ASSERT_TRUE(c.stored ? probe.StorePort(*c.stored) : probe.ForgetStoredPort());
    if (!c.registryOrder.empty()) {
        auto listed = probe.InstalledPorts();
        ASSERT_TRUE(listed);
        std::vector<std::string> order;
        for (const auto& value : *listed) {
            order.push_back(value.second);
        }
        ASSERT_EQ(order, c.registryOrder);
    }
    ASSERT_NO_FATAL_FAILURE(StartProgram(std::string("start-") + c.name));
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    ExpectPorts(c.enabled, c.checked, c.beginEnabled);
    // A stored port passed over is left as it was.
    EXPECT_EQ(probe.StoredPort(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortsAtStart,
    ::testing::Values(
        StartCase{"NothingStoredChecksTheLowest", kCom3AndCom7, std::nullopt, {3, 7}, 3, true},
        StartCase{"StoredInstalledPortIsChecked", kCom3AndCom7, 7, {3, 7}, 7, true},
        StartCase{"StoredPortNotInstalledIsPassedOver", kCom3AndCom7, 5, {3, 7}, 3, true},
        StartCase{"StoredZeroIsNoPort", kCom3AndCom7, 0, {3, 7}, 3, true},
        StartCase{"StoredAboveCom22IsNoPort", kCom3AndCom7, 23, {3, 7}, 3, true},
        StartCase{"StoredNegativeIsNoPort", kCom3AndCom7, -5, {3, 7}, 3, true},
        StartCase{"BothEndsOfTheRange",
                  {{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM22"}},
                  22,
                  {1, 22},
                  22,
                  true},
        StartCase{"LowerCaseNameIsAPort",
                  {{"\\Device\\Serial0", "com4"}, {"\\Device\\Serial1", "COM9"}},
                  std::nullopt,
                  {4, 9},
                  4,
                  true},
        StartCase{"OtherFormsOfNameAreIgnored",
                  {{"\\Device\\Serial0", "COM23"},
                   {"\\Device\\Serial1", "COM4 "},
                   {"\\Device\\Serial2", "\\\\.\\COM5"},
                   {"\\Device\\Serial3", "COM06"},
                   {"\\Device\\Serial4", "COM9"}},
                  std::nullopt,
                  {9},
                  9,
                  true},
        StartCase{
            "OnlyUnusableNamesLeaveNoPortAndNoMessage",
            {{"\\Device\\Serial0", "COM23"}, {"\\Device\\Serial1", "COM4 "}, {"\\Device\\Serial2", "\\\\.\\COM5"}},
            std::nullopt,
            {},
            0,
            false},
        StartCase{"EmptyListLeavesNoPortAndNoMessage", {}, 4, {}, 0, false},
        // COM12 is both first in the registry and first as a string.
        StartCase{"RegistryOrderDoesNotMatter",
                  {{"\\Device\\Serial0", "COM12"}, {"\\Device\\Serial1", "COM6"}, {"\\Device\\Serial2", "COM9"}},
                  std::nullopt,
                  {6, 9, 12},
                  6,
                  true,
                  {"COM12", "COM6", "COM9"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefreshCase {
    const char* name;
    PortList before;
    std::optional<int> stored;
    int userChecks;  // the port the user checks before refreshing; 0: none
    PortList after;
    std::set<int> enabled;
    int checked;
    bool beginEnabled;
};

class PortsOnRefresh : public PortsTest, public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(PortsOnRefresh, FollowsTheListAndTheStoredPortOnly) {
    const RefreshCase& c = GetParam();
    ASSERT_TRUE(probe.SetInstalledPorts(c.before));
    ASSERT_TRUE(c.stored ? probe.StorePort(*c.stored) : probe.ForgetStoredPort());
    ASSERT_NO_FATAL_FAILURE(StartProgram(std::string("refresh-") + c.name));
    ASSERT_TRUE(probe.NoMessageBoxAtStart());
    if (c.userChecks != 0) {
        ASSERT_NO_FATAL_FAILURE(CheckPort(c.userChecks));
    }
    ASSERT_TRUE(probe.SetInstalledPorts(c.after));
    ASSERT_TRUE(probe.Click(kRefresh));
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    ExpectPorts(c.enabled, c.checked, c.beginEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortsOnRefresh,
    ::testing::Values(
        RefreshCase{
            "VanishedPortIsDisabled", kCom3AndCom7, std::nullopt, 0, {{"\\Device\\Serial2", "COM3"}}, {3}, 3, true},
        RefreshCase{"VanishedCheckedPortPassesTheCheckOn",
                    kCom3AndCom7,
                    std::nullopt,
                    0,
                    {{"\\Device\\Serial6", "COM7"}},
                    {7},
                    7,
                    true},
        RefreshCase{
            "LastPortVanishedLeavesNoneChecked", {{"\\Device\\Serial2", "COM3"}}, std::nullopt, 0, {}, {}, 0, false},
        RefreshCase{"UserCheckGivesWayToTheLowest", kCom3AndCom7, std::nullopt, 7, kCom3AndCom7, {3, 7}, 3, true},
        RefreshCase{"UserCheckGivesWayToTheStoredPort", kCom3AndCom7, 7, 3, kCom3AndCom7, {3, 7}, 7, true},
        RefreshCase{
            "StoredPortBackInTheListIsChecked", {{"\\Device\\Serial2", "COM3"}}, 7, 0, kCom3AndCom7, {3, 7}, 7, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Without the installed-port list the program says so at start and on every refresh, offers no
// port and no update, and offers both again once the list is back (with the stored port checked).
TEST_F(PortsTest, NoInstalledPortListIsToldEachTimeUntilItIsBack) {
    ASSERT_TRUE(probe.RemoveInstalledPortList());
    ASSERT_FALSE(probe.InstalledPorts());
    ASSERT_TRUE(probe.StorePort(7));
    ASSERT_NO_FATAL_FAILURE(StartProgram("no-list"));
    for (const char* when : {"at start", "on the first refresh", "on the second refresh"}) {
        SCOPED_TRACE(when);
        if (std::string(when) != "at start") {
            ASSERT_TRUE(probe.Click(kRefresh));
        }
        auto box = probe.WaitMessageBox(30s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "TLYN_Update");
        EXPECT_EQ(box->text, "There are no serial ports installed on this computer.     ");
        EXPECT_EQ(box->icon, "exclamation");
        if (std::string(when) == "on the first refresh") {
            ASSERT_TRUE(probe.Screenshot("no-serial-ports"));
        }
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_TRUE(probe.NoMessageBox(300ms));
        ExpectPorts({}, 0, false);
    }
    // An update can't be started through the disabled button.
    EXPECT_EQ(probe.AskOk("press " + std::to_string(kBeginUpdate)), "disabled");

    ASSERT_TRUE(probe.SetInstalledPorts(kCom3AndCom7));
    ASSERT_TRUE(probe.Click(kRefresh));
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    ExpectPorts({3, 7}, 7, true);
}

}  // namespace

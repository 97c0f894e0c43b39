// The window as the user sees it at start: caption, every control of the layout in its place, the
// firmware lines, and the messages for a missing description or firmware file.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <ctime>

#include "ProgramTest.h"

namespace {

using namespace e2e;

// Style bits the layout binds.
constexpr unsigned kGroup = 0x00020000;    // WS_GROUP
constexpr unsigned kTabStop = 0x00010000;  // WS_TABSTOP
constexpr unsigned kNoPrefix = 0x80;       // SS_NOPREFIX
constexpr unsigned kMultiLine = 0x2000;    // BS_MULTILINE

enum Kind { kPush, kRadio, kGroupBox, kLeftText, kCentreText };

struct LayoutRow {
    int id;
    Kind kind;
    int x, y, w, h;
    unsigned bits;  // of kGroup, kTabStop, kNoPrefix, kMultiLine that must be set; the others must not
};

// The update window, control by control, in tab order.
std::vector<LayoutRow> ExpectedLayout() {
    std::vector<LayoutRow> rows = {
        {2, kPush, 394, 404, 100, 14, kGroup | kTabStop},
        {1017, kCentreText, 12, 6, 624, 12, kGroup},
        {-1, kGroupBox, 12, 24, 624, 44, 0},
    };
    for (int n = 1; n <= 22; ++n) {
        int x = n == 1 ? 24 : n <= 11 ? 80 + 56 * (n - 2) : 24 + 56 * (n - 12);
        rows.push_back({2000 + n, kRadio, x, n <= 11 ? 36 : 52, 36, 10, n == 1 ? kGroup | kTabStop : 0u});
    }
    std::vector<LayoutRow> rest = {
        {-1, kGroupBox, 12, 80, 624, 180, kGroup},
        {1100, kLeftText, 28, 92, 592, 164, kGroup | kNoPrefix},
        {1022, kPush, 576, 231, 52, 22, kGroup | kTabStop | kMultiLine},
        {-1, kGroupBox, 12, 272, 624, 76, 0},
        {1008, kLeftText, 20, 284, 608, 8, kGroup | kNoPrefix},
        {1009, kLeftText, 20, 296, 608, 8, kGroup | kNoPrefix},
        {1007, kLeftText, 20, 308, 608, 8, kGroup | kNoPrefix},
        {1010, kLeftText, 20, 320, 608, 8, kGroup | kNoPrefix},
        {1011, kLeftText, 20, 332, 608, 12, kGroup | kNoPrefix},
        {1020, kGroupBox, 12, 360, 624, 36, 0},
        {-1, kLeftText, 20, 372, 548, 20, kGroup | kNoPrefix},
        {1016, kPush, 576, 373, 52, 14, kGroup | kTabStop},
        {1012, kPush, 154, 404, 100, 14, kGroup | kTabStop},
        {1006, kPush, 274, 404, 100, 14, kGroup | kTabStop},
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

const char* KindClass(Kind kind) { return kind == kLeftText || kind == kCentreText ? "Static" : "Button"; }

std::string FirmwareHex() {
    return ":10000000000102030405060708090A0B0C0D0E0F78\n"
           ":00000001FF\n";
}

// The time text the window shows for a file last modified at this local time.
std::string TimeText(int year, int month, int day, int hour, int minute, int second) {
    int shown = hour == 0 ? 0 : hour > 12 ? hour - 12 : hour;
    char out[64];
    std::snprintf(out, sizeof(out), "     (%d-%d-%d, %2d:%02d:%02d %s)", month, day, year, shown, minute, second,
                  hour >= 12 ? "PM" : "AM");
    return out;
}

bool SetModified(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    timeval times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    return utimes(path.c_str(), times) == 0;
}

class MainWindow : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial2", "COM3"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }
};

TEST_F(MainWindow, ShowsEveryControlOfTheLayoutInPlace) {
    ProgramFolder folder("layout");
    folder.Put("Gathrix_Remote.txt", "2.32 (sample)\nfirmware.hex\n");
    folder.Put("firmware.hex", FirmwareHex());
    ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder.Dir()));
    EXPECT_EQ(probe.Caption(), kCaption);
    ASSERT_TRUE(probe.Screenshot("idle-window"));
    // 647 x 425 dialog units in Tahoma 8 pt (base units 6 x 13): any other font moves every control.
    EXPECT_EQ(probe.AskOk("client-size"), "971:691");

    auto controls = probe.Controls();
    ASSERT_TRUE(controls);
    std::vector<LayoutRow> expected = ExpectedLayout();
    ASSERT_EQ(controls->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const LayoutRow& row = expected[i];
        const ControlState& c = (*controls)[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(row.id));
        EXPECT_EQ(c.id, row.id);
        EXPECT_EQ(c.className, KindClass(row.kind));
        auto mapped = probe.AskOk("dlu " + std::to_string(row.x) + " " + std::to_string(row.y) + " " +
                                  std::to_string(row.w) + " " + std::to_string(row.h));
        ASSERT_TRUE(mapped);
        char rect[64];
        std::snprintf(rect, sizeof(rect), "%d:%d:%d:%d", c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(rect, *mapped);
        unsigned type = c.style & 0xF;
        switch (row.kind) {
            // The dialog marks the focused push button as default while it has the focus.
            case kPush: EXPECT_TRUE(type == 0 || (type == 1 && row.id == 2)) << type; break;
            case kRadio: EXPECT_EQ(type, 9u); break;  // BS_AUTORADIOBUTTON
            case kGroupBox: EXPECT_EQ(type, 7u); break;
            case kLeftText: EXPECT_EQ(c.style & 0x1F, 0u); break;
            case kCentreText: EXPECT_EQ(c.style & 0x1F, 1u); break;
        }
        // A radio button carries the tab stop while it is the checked one of its group, as the
        // platform moves it with the check: the group's first button holds it only in the template.
        unsigned checkable = kGroup | (row.kind == kRadio ? 0u : kTabStop) | (row.kind == kPush ? kMultiLine : 0u) |
                             (row.kind == kLeftText || row.kind == kCentreText ? kNoPrefix : 0u);
        EXPECT_EQ(c.style & checkable, row.bits & checkable);
        EXPECT_EQ(c.visible, row.id != 1022);
    }
}

TEST_F(MainWindow, StartsWithItsTextsAndTheFirmwareIdentified) {
    ProgramFolder folder("texts");
    folder.Put("Gathrix_Remote.txt", "2.32 (sample)\r\nfirmware.hex\r\nignored third line\r\n");
    folder.Put("firmware.hex", FirmwareHex());
    ASSERT_TRUE(SetModified(folder.Path("firmware.hex"), 2012, 3, 7, 9, 5, 7));
    ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder.Dir()));
    EXPECT_TRUE(probe.NoMessageBox(500ms));

    EXPECT_EQ(probe.Text(1017), "Use for updating the Gathrix RS232 Remote firmware.");
    EXPECT_EQ(probe.Text(1100),
              "- Connect the Gathrix RS-232 Remote to a serial port on your PC.\n"
              "- Connect the AC adapter to the Gathrix Remote.\n"
              "- Select the appropriate serial port (COM1 to COM22).\n"
              "- Press the Begin Update button.\n"
              "- Press and release the reset button on the back of the Gathrix Remote.\n"
              "- Monitor the Firmware Update Status information.\n"
              "- A message box will indicate the success of the update.");
    EXPECT_EQ(probe.Text(1008), "Firmware file  =  firmware.hex" + TimeText(2012, 3, 7, 9, 5, 7));
    EXPECT_EQ(probe.Text(1009), "Firmware version  =  2.32 (sample)");
    EXPECT_EQ(probe.Text(1007), "");
    EXPECT_EQ(probe.Text(1010), "");
    EXPECT_EQ(probe.Text(1011), "");
    EXPECT_EQ(probe.Text(1020), "Vostrel Support && Contact Information: ");
    EXPECT_EQ(probe.Text(1006), "Begin Update");
    auto begin = probe.State(1006);
    ASSERT_TRUE(begin);
    EXPECT_TRUE(begin->enabled);
    auto com3 = probe.State(2003);
    ASSERT_TRUE(com3);
    EXPECT_EQ(com3->checked, 1);
    EXPECT_TRUE(com3->enabled);
}

struct NoFirmwareCase {
    const char* name;
    const char* description;  // nullptr: no description file at all
    const char* messageText;  // nullptr: no message; "@" stands for the folder's Windows path
    const char* fileLine;
};

class MainWindowWithoutFirmware : public MainWindow, public ::testing::WithParamInterface<NoFirmwareCase> {};

TEST_P(MainWindowWithoutFirmware, DisablesBeginUpdate) {
    const NoFirmwareCase& c = GetParam();
    ProgramFolder folder(std::string("nofirmware-") + c.name);
    if (c.description != nullptr) {
        folder.Put("Gathrix_Remote.txt", c.description);
    }
    folder.Put("firmware.hex", FirmwareHex());
    // The window exists, not yet shown, while its initialisation shows the message.
    ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder.Dir()));
    if (c.messageText != nullptr) {
        auto box = probe.WaitMessageBox(30s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, kMessageCaption);
        std::string expected = c.messageText;
        size_t at = expected.find('@');
        if (at != std::string::npos) {
            expected.replace(at, 1, "Z:" + folder.Dir());
            for (size_t i = at; i < expected.size(); ++i) {
                if (expected[i] == '/') expected[i] = '\\';
            }
        }
        EXPECT_EQ(box->text, expected);
        EXPECT_EQ(box->icon, "exclamation");
        ASSERT_TRUE(probe.CloseMessageBox());
    }
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    EXPECT_EQ(probe.Text(1009), "Firmware version  =  ");
    EXPECT_EQ(probe.Text(1008), c.fileLine);
    auto begin = probe.State(1006);
    ASSERT_TRUE(begin);
    EXPECT_FALSE(begin->enabled);
    // The port buttons stay usable, and a refresh does not bring Begin Update back.
    auto com3 = probe.State(2003);
    ASSERT_TRUE(com3);
    EXPECT_TRUE(com3->enabled);
    ASSERT_TRUE(probe.Click(1012));
    EXPECT_TRUE(probe.NoMessageBox(300ms));
    begin = probe.State(1006);
    ASSERT_TRUE(begin);
    EXPECT_FALSE(begin->enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainWindowWithoutFirmware,
    ::testing::Values(
        NoFirmwareCase{"NoDescriptionFile", nullptr,
                       "Unable to open the firmware description file:     \n     @/Gathrix_Remote.txt     \n\n"
                       "Firmware update wil be disabled.",
                       "Firmware file  ="},
        NoFirmwareCase{"OnlyAVersionLine", "2.32\n", nullptr, "Firmware file  ="},
        NoFirmwareCase{"EmptyDescription", "", nullptr, "Firmware file  ="},
        NoFirmwareCase{"MissingFirmwareFile", "2.32\nmissing.hex\n",
                       "Unable to open the firmware hex file:     \n     missing.hex     ",
                       "Firmware file  =  missing.hex"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

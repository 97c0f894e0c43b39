// The About box as the user meets it: opened from the system menu or from Contact Info, the same
// box with the same texts in its place, live mail and web links that open the user's programs
// (here a recorder registered in their stead, the user's own put back after each case), a contact
// block that never keeps the focus, and Enter or Escape to close it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <thread>

#include "ProgramTest.h"

namespace {

using namespace e2e;

constexpr char kAboutCaption[] = "About Gathrix RS-232 Remote Update";
constexpr int kContactBlock = 1016;  // in the About box
constexpr int kOk = 1;
constexpr int kVkReturn = 13, kVkEscape = 27, kVkTab = 9, kVkShift = 16;

// The lines of the contact block, by their place.
enum ContactLine { kPhone = 0, kFax = 1, kMail = 2, kWeb = 3, kHours = 4, kStreet = 5, kPostBox = 6, kTown = 7 };

constexpr char kMailTarget[] = "mailto:support@vostrel-systems.example?Subject=Firmware Update";
constexpr char kWebTarget[] = "http://www.vostrel-systems.example";

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0, screenWidth = 0, screenHeight = 0;
};

// "l:t:r:b screen=w:h", as the probe gives a window's place.
std::optional<Rect> ParseWindowRect(const std::optional<std::string>& payload) {
    Rect r;
    if (!payload || std::sscanf(payload->c_str(), "%d:%d:%d:%d screen=%d:%d", &r.left, &r.top, &r.right, &r.bottom,
                                &r.screenWidth, &r.screenHeight) != 6) {
        return std::nullopt;
    }
    return r;
}

class AboutBox : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial2", "COM3"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
        folder.emplace(std::string("about-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder->Put("Gathrix_Remote.txt", "2.32 (sample)\nfirmware.hex\n");
        folder->Put("firmware.hex", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n");
        // The recorder stands in for the mail program and the browser.
        std::string recorder = WindowsPath(WinBuildDir() + "/tools/shellrecorder/tlyn_shellrecorder.exe");
        std::string open = "\"" + recorder + "\" \"" + WindowsPath(LinksLog()) + "\" \"%1\"";
        ASSERT_NO_FATAL_FAILURE(OpenAddressesWith("mailto", open));
        ASSERT_NO_FATAL_FAILURE(OpenAddressesWith("http", open));
        ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder->Dir()));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
    }

    std::string LinksLog() const { return folder->Path("links.log"); }

    // What the recorder was asked to open, one address a launch.
    std::vector<std::string> Opened() { return Lines(ReadFile(LinksLog())); }

    // Waits until the recorder holds `count` addresses, or the time is up.
    std::vector<std::string> WaitOpened(size_t count, std::chrono::milliseconds timeout) {
        Eventually([&] { return Opened().size() >= count; }, timeout, 50ms);
        return Opened();
    }

    // The About box is up: its fields as the probe found it.
    std::map<std::string, std::string> WaitAbout() {
        auto found = probe.AskOk("wait-dialog 5000", 10s);
        return found ? Fields(*found) : std::map<std::string, std::string>{};
    }

    bool OpenFromContactInfo() { return probe.AskOk("press " + std::to_string(kContactInfo)).has_value(); }

    std::string DialogText(int id) {
        auto text = probe.AskOk("dialog-text " + std::to_string(id));
        return text ? Decode(*text) : "<no control " + std::to_string(id) + ">";
    }

    std::string DialogFocus() { return probe.AskOk("dialog-focus-in").value_or("<no answer>"); }

    // The screen point of a character well inside a line of the contact block.
    std::optional<std::string> ContactPoint(int line) {
        auto point =
            probe.AskOk("dialog-char-point " + std::to_string(kContactBlock) + " " + std::to_string(line) + " 8");
        if (!point || point->find(" over=1") == std::string::npos) return std::nullopt;
        std::string at = point->substr(0, point->find(' '));
        at[at.find(':')] = ' ';
        return at;
    }
};

// --- The same box from both routes -----------------------------------------------------------

struct RouteCase {
    const char* name;
    const char* open;  // the probe command that opens the box
};

class AboutBoxRoute : public AboutBox, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(AboutBoxRoute, ShowsTheProductAndContactInItsPlace) {
    ASSERT_TRUE(probe.AskOk(GetParam().open));
    auto about = WaitAbout();
    ASSERT_FALSE(about.empty());
    EXPECT_EQ(about["caption"], kAboutCaption);
    // Owned by the main window, which takes no input while the box is up.
    EXPECT_EQ(about["owned"], "1");
    EXPECT_EQ(about["main-enabled"], "0");

    EXPECT_EQ(DialogText(1019), "Gathrix Wireless RS-232 Remote Firmware Update");
    EXPECT_EQ(DialogText(1015), "Version 2.0.0.39");
    EXPECT_EQ(DialogText(1014), "Released December 9, 2011");
    EXPECT_EQ(DialogText(1013), "Copyright (C) 2011 Vostrel Systems, Inc.");
    EXPECT_EQ(DialogText(1018),
              "This update utility can only be used to update the\nGathrix Wireless RS232 Remote firmware.");
    EXPECT_EQ(DialogText(1021), "Phone:\nFAX:\nEmail:\nWeb:\nHours:\nAddress:");
    // The rich edit hands its line ends out as CR LF.
    EXPECT_EQ(DialogText(kContactBlock),
              "+1 (555) 010-4477\r\n"
              "+1 (555) 010-4478\r\n"
              "mailto:support@vostrel-systems.example\r\n"
              "www.vostrel-systems.example\r\n"
              "Mon - Fri, 8:00 AM - 5:00 PM Central Time\r\n"
              "2210 Lakeshore Drive, Suite 4\r\n"
              "P.O. Box 1187\r\n"
              "Marlow Springs, WI 53901");
    auto controls = probe.AskOk("dialog-controls");
    ASSERT_TRUE(controls);
    EXPECT_NE(controls->find("text=Contact%20information:"), std::string::npos);
    EXPECT_NE(controls->find("text=All%20rights%20reserved."), std::string::npos);

    // Centred across the screen, a quarter of the free height from the top.
    auto rect = ParseWindowRect(probe.AskOk("dialog-window-rect"));
    ASSERT_TRUE(rect);
    int width = rect->right - rect->left, height = rect->bottom - rect->top;
    EXPECT_EQ(rect->left, (rect->screenWidth - width) / 2);
    EXPECT_EQ(rect->top, (rect->screenHeight - height) / 4);

    EXPECT_EQ(DialogFocus(), "1");
    ASSERT_TRUE(probe.Screenshot(std::string("about-box-") + GetParam().name));

    ASSERT_TRUE(probe.AskOk("dialog-press 1"));
    EXPECT_TRUE(probe.AskOk("no-dialog 3000", 8s));
    EXPECT_EQ(probe.AskOk("enabled"), "1");
    EXPECT_TRUE(program.Running());
}

INSTANTIATE_TEST_SUITE_P(Routes, AboutBoxRoute,
                         ::testing::Values(RouteCase{"SystemMenuEntry", "post 274 16 0"},
                                           RouteCase{"ContactInfoButton", "press 1016"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Closing with the keyboard ---------------------------------------------------------------

struct KeyCase {
    const char* name;
    int key;
};

class AboutBoxKey : public AboutBox, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AboutBoxKey, ClosesTheBoxAndLeavesTheProgramRunning) {
    ASSERT_TRUE(OpenFromContactInfo());
    ASSERT_FALSE(WaitAbout().empty());
    ASSERT_TRUE(probe.AskOk("dialog-keys " + std::to_string(GetParam().key)));
    EXPECT_TRUE(probe.AskOk("no-dialog 3000", 8s));
    EXPECT_EQ(probe.AskOk("enabled"), "1");
    EXPECT_TRUE(probe.NoMessageBox(300ms));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(probe.Caption(), kCaption);
}

INSTANTIATE_TEST_SUITE_P(Keys, AboutBoxKey,
                         ::testing::Values(KeyCase{"EnterPressesOk", kVkReturn}, KeyCase{"EscapeCloses", kVkEscape}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The links -------------------------------------------------------------------------------

enum class Hand { Click, ReleaseOnly };

struct LinkCase {
    const char* name;
    ContactLine line;
    Hand hand;
    const char* opened;  // nullptr: nothing may open
};

class AboutBoxLink : public AboutBox, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(AboutBoxLink, OpensOnlyWhatThePressedLinkNames) {
    const LinkCase& c = GetParam();
    ASSERT_TRUE(OpenFromContactInfo());
    ASSERT_FALSE(WaitAbout().empty());
    auto at = ContactPoint(c.line);
    ASSERT_TRUE(at) << "line " << c.line << " is not under the cursor's point";
    ASSERT_TRUE(probe.AskOk((c.hand == Hand::Click ? "mouse-click " : "mouse-release ") + *at));

    if (c.opened != nullptr) {
        EXPECT_EQ(WaitOpened(1, 10s), std::vector<std::string>{c.opened});
    } else {
        // Nothing opens: given two seconds to show that.
        std::this_thread::sleep_for(2s);
        EXPECT_TRUE(Opened().empty());
    }
    // The contact block never keeps the focus: it goes back to OK.
    EXPECT_EQ(DialogFocus(), "1");

    // A press on the mail line afterwards opens exactly that: the hand and the recorder work,
    // and nothing else was opened before.
    auto mail = ContactPoint(kMail);
    ASSERT_TRUE(mail);
    ASSERT_TRUE(probe.AskOk("mouse-click " + *mail));
    std::vector<std::string> expected;
    if (c.opened != nullptr) expected.push_back(c.opened);
    expected.push_back(kMailTarget);
    EXPECT_EQ(WaitOpened(expected.size(), 10s), expected);
    // And nothing after it.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Opened(), expected);
    EXPECT_EQ(DialogFocus(), "1");
}

INSTANTIATE_TEST_SUITE_P(Lines, AboutBoxLink,
                         ::testing::Values(LinkCase{"MailLineOpensANewMessageWithSubject", kMail, Hand::Click,
                                                    kMailTarget},
                                           LinkCase{"WebLineOpensTheAddressOverHttp", kWeb, Hand::Click, kWebTarget},
                                           LinkCase{"ReleaseOnlyOverTheMailLink", kMail, Hand::ReleaseOnly, nullptr},
                                           LinkCase{"ReleaseOnlyOverTheWebLink", kWeb, Hand::ReleaseOnly, nullptr},
                                           LinkCase{"PhoneLine", kPhone, Hand::Click, nullptr},
                                           LinkCase{"FaxLine", kFax, Hand::Click, nullptr},
                                           LinkCase{"HoursLine", kHours, Hand::Click, nullptr},
                                           LinkCase{"StreetLine", kStreet, Hand::Click, nullptr},
                                           LinkCase{"TownLine", kTown, Hand::Click, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The focus -------------------------------------------------------------------------------

TEST_F(AboutBox, TabbingNeverLeavesTheFocusInTheContactBlock) {
    ASSERT_TRUE(OpenFromContactInfo());
    ASSERT_FALSE(WaitAbout().empty());
    ASSERT_EQ(DialogFocus(), "1");
    const std::string tab = std::to_string(kVkTab);
    const std::string strokes[] = {tab, tab, std::to_string(kVkShift) + "+" + tab, tab};
    for (const std::string& keys : strokes) {
        SCOPED_TRACE(keys);
        ASSERT_TRUE(probe.AskOk("dialog-keys " + keys));
        // The focus must not move: given the keys time to take effect if it did.
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(DialogFocus(), "1");
    }
    // A click into the block's plain text, then Tab: still on OK, and the box still up.
    auto phone = ContactPoint(kPhone);
    ASSERT_TRUE(phone);
    ASSERT_TRUE(probe.AskOk("mouse-click " + *phone));
    EXPECT_EQ(DialogFocus(), "1");
    ASSERT_TRUE(probe.AskOk("dialog-keys " + std::to_string(kVkTab)));
    std::this_thread::sleep_for(150ms);  // as above: time for the focus to move, if it did
    EXPECT_EQ(DialogFocus(), "1");
    EXPECT_TRUE(probe.AskOk("wait-dialog 100"));
}

}  // namespace

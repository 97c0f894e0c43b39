// The program on a Japanese Windows: ANSI code page 932, where the second byte of a character can
// be a backslash (表 is 0x95 0x5C). A program file, a program folder, a firmware file and a
// temporary folder named with such a character each still give an update that succeeds, the port
// is stored under the program's own name, and the About box's links still open.
//
// Wine takes the code page from the locale a process starts in: the probe and the program run
// under ja_JP.UTF-8, everything else of the bed stays in the C locale. Names on the Linux side are
// UTF-8, which Wine maps; what the program reads from its description file and the registry, and
// what the probe reads from its window, is code page 932.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

const Environment kJapanese = {{"LC_ALL", "ja_JP.UTF-8"}};
constexpr unsigned kJapaneseCodePage = 932;
constexpr int kDevicePort = 5;

constexpr char kMailTarget[] = "mailto:support@vostrel-systems.example?Subject=Firmware Update";
constexpr char kWebTarget[] = "http://www.vostrel-systems.example";
constexpr int kContactBlock = 1016;  // in the About box
constexpr int kMailLine = 2, kWebLine = 3;

// A name as the Linux side spells it (UTF-8), and as the program reads it (code page 932).
struct Name {
    std::string onDisk;
    std::string ansi;
};

// The character 表 between two ASCII parts.
Name WithCharacter(const std::string& before, const std::string& after) {
    return {before + "表" + after, before + "\x95\x5C" + after};
}

Name Plain(const std::string& name) { return {name, name}; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class DoubleByte : public ProgramTest {
protected:
    DoubleByte() : ProgramTest(kJapanese) {}

    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        // The probe starts as the program does: its code page is the program's.
        ASSERT_EQ(probe.CodePage(), std::optional<unsigned>(kJapaneseCodePage))
            << "a Wine process started with LC_ALL=ja_JP.UTF-8 does not run under code page 932: is the locale "
               "made (locale -a lists ja_JP.utf8)? bash scripts/install-deps.sh makes it with localedef -i ja_JP "
               "-f UTF-8 ja_JP.UTF-8";
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
    }

    // A fresh folder with the program under programName, the description naming firmwareName (in
    // code page 932) and that file.
    void MakeFolder(const std::string& folderName, const std::string& programName, const Name& firmwareName) {
        folder.emplace(folderName, true, programName);
        ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", "2.32 (sample)\n" + firmwareName.ansi + "\n"));
        ASSERT_TRUE(folder->Put(firmwareName.onDisk, firmware.hex));
    }

    // The device on COM5, the program started from the folder with no message, COM5 checked. The
    // device answers the first attention byte unless told otherwise: the names are the case.
    void Start(const std::string& programName = "TLYN_Update.exe", unsigned attentionsBeforePresence = 1) {
        bootsim::Options options;
        options.attentionsBeforePresence = attentionsBeforePresence;
        ASSERT_NO_FATAL_FAILURE(StartDevice(DeviceOn{kDevicePort, options}));
        ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder->Dir(), std::nullopt, programName));
        if (!probe.NoMessageBoxAtStart()) {
            auto box = probe.WaitMessageBox(1s);
            FAIL() << "the program starts with a message: " << (box ? box->text : "<gone>");
        }
        ASSERT_NO_FATAL_FAILURE(CheckPort(kDevicePort));
    }

    // Begin Update to the box of success; the device holds the exact image.
    void ExpectUpdateSucceeds() {
        ASSERT_TRUE(probe.Click(kBeginUpdate));
        auto box = probe.WaitMessageBox(30s);
        ASSERT_TRUE(box) << "no outcome of the update";
        EXPECT_EQ(box->caption, "Firmware Update Complete") << box->text;
        ASSERT_TRUE(probe.CloseMessageBox());
        EXPECT_EQ(device->EndMarkers(), 1u);
        EXPECT_EQ(device->LastImage(), firmware.image);
    }

    Firmware firmware = MakeFirmware(3);
};

// --- The program file ------------------------------------------------------------------------

// The settings key is the program file's name without its extension: the whole character, not
// what follows its trail byte.
TEST_F(DoubleByte, ProgramFileNamedWithTheCharacterStoresThePortUnderItsName) {
    const RegistryPlace stored{"HKCU", "Software\\Vostrel Systems\\\x95\x5C\\Settings", "ComPort"};
    ASSERT_NO_FATAL_FAILURE(KeepValue(stored));
    ASSERT_TRUE(probe.PutValue(stored, std::nullopt));
    const Name program = WithCharacter("", ".exe");
    ASSERT_NO_FATAL_FAILURE(MakeFolder("dbcs-program", program.onDisk, Plain("firmware.hex")));
    ASSERT_NO_FATAL_FAILURE(Start(program.onDisk));
    ASSERT_NO_FATAL_FAILURE(ExpectUpdateSucceeds());

    auto value = probe.Value(stored);
    ASSERT_TRUE(value);
    ASSERT_TRUE(*value) << "no port stored under Software\\Vostrel Systems\\表\\Settings";
    EXPECT_EQ((*value)->type, 4u);  // REG_DWORD
    EXPECT_EQ((*value)->data, std::string("\x05\x00\x00\x00", 4));
    EXPECT_EQ(probe.StoredPort(), std::nullopt) << "stored under the name of another program";
}

// --- Folders and firmware files --------------------------------------------------------------

struct NameCase {
    const char* name;
    Name folder;    // the program's folder
    Name firmware;  // the firmware file, as the description names it
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class DoubleByteNames : public DoubleByte, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DoubleByteNames, UpdateSucceeds) {
    const NameCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(MakeFolder(c.folder.onDisk, "TLYN_Update.exe", c.firmware));
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(probe.Text(kFirmwareFileLine).rfind("Firmware file  =  " + c.firmware.ansi + "     (", 0), 0u)
        << probe.Text(kFirmwareFileLine);
    EXPECT_EQ(probe.Text(kFirmwareVersionLine), "Firmware version  =  2.32 (sample)");
    ASSERT_NO_FATAL_FAILURE(ExpectUpdateSucceeds());
    EXPECT_EQ(probe.StoredPort(), kDevicePort);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DoubleByteNames,
    ::testing::Values(NameCase{"ProgramFolder", WithCharacter("dbcs-", ""), Plain("firmware.hex")},
                      NameCase{"FirmwareFile", Plain("dbcs-firmware"), WithCharacter("", ".hex")},
                      // Stepping byte by byte, what follows the trail byte reads as the device NUL.
                      NameCase{"FirmwareFileWhoseTailReadsAsADevice", Plain("dbcs-device"),
                               WithCharacter("", "NUL.hex")}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The temporary folder --------------------------------------------------------------------

// The page image goes to the temporary folder the user's environment names, and goes away after.
TEST_F(DoubleByte, TemporaryFolderNamedWithTheCharacter) {
    const std::string usual = probe.TempDir();  // the probe started before the change
    ASSERT_FALSE(usual.empty());
    fs::remove(usual + "/Hex.tmp");
    const Name temp = WithCharacter("dbcs-temp-", "");
    const std::string ours = WorkDir() + "/" + temp.onDisk;
    fs::remove_all(ours);
    ASSERT_TRUE(fs::create_directory(ours));
    ASSERT_NO_FATAL_FAILURE(UseTemporaryFolder(WindowsPath(WorkDir() + "/" + temp.ansi)));
    ASSERT_NO_FATAL_FAILURE(MakeFolder("dbcs-temp-program", "TLYN_Update.exe", Plain("firmware.hex")));
    // About a second armed, with the page image in place, before the device answers.
    ASSERT_NO_FATAL_FAILURE(Start("TLYN_Update.exe", 3));

    ASSERT_TRUE(probe.Click(kBeginUpdate));
    EXPECT_TRUE(Eventually([&] { return FileExists(ours + "/Hex.tmp"); }, 10s)) << "no page image in " << ours;
    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box) << "no outcome of the update";
    EXPECT_EQ(box->caption, "Firmware Update Complete") << box->text;
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(device->LastImage(), firmware.image);
    EXPECT_FALSE(FileExists(ours + "/Hex.tmp"));
    EXPECT_FALSE(FileExists(usual + "/Hex.tmp")) << "the page image went to the usual temporary folder";
}

// --- The About box ---------------------------------------------------------------------------

TEST_F(DoubleByte, AboutBoxLinksStillOpen) {
    const Name program = WithCharacter("", ".exe");
    ASSERT_NO_FATAL_FAILURE(MakeFolder("dbcs-about", program.onDisk, Plain("firmware.hex")));
    const std::string log = folder->Path("links.log");
    const std::string recorder = WindowsPath(WinBuildDir() + "/tools/shellrecorder/tlyn_shellrecorder.exe");
    const std::string open = "\"" + recorder + "\" \"" + WindowsPath(log) + "\" \"%1\"";
    ASSERT_NO_FATAL_FAILURE(OpenAddressesWith("mailto", open));
    ASSERT_NO_FATAL_FAILURE(OpenAddressesWith("http", open));
    ASSERT_NO_FATAL_FAILURE(Start(program.onDisk));

    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kContactInfo)));
    ASSERT_TRUE(probe.AskOk("wait-dialog 5000", 10s)) << "no About box";
    std::vector<std::string> expected;
    for (auto [line, target] : {std::pair{kMailLine, kMailTarget}, std::pair{kWebLine, kWebTarget}}) {
        auto point =
            probe.AskOk("dialog-char-point " + std::to_string(kContactBlock) + " " + std::to_string(line) + " 8");
        ASSERT_TRUE(point && point->find(" over=1") != std::string::npos) << "line " << line;
        std::string at = point->substr(0, point->find(' '));
        at[at.find(':')] = ' ';
        ASSERT_TRUE(probe.AskOk("mouse-click " + at));
        expected.push_back(target);
        EXPECT_TRUE(Eventually([&] { return Lines(ReadFile(log)).size() >= expected.size(); }, 10s, 50ms));
        EXPECT_EQ(Lines(ReadFile(log)), expected);
    }
}

}  // namespace

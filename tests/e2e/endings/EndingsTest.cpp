// Every ending tells the truth, and only this program's firmware reaches its device: an update that
// fails while it is armed greets no device and says so once; a second copy of the program on the
// same desktop can neither replace nor remove this copy's page image; a full disk, an image that
// can't be read on the way and one too long for the page numbers each end as what they are; and
// description lines longer than any name are neither lost nor taken for a missing file.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

constexpr int kDevicePort = 5;
constexpr int kStoredPort = 3;
const std::string kInvalidHex = "Invalid firmware hex file.                           ";
const std::string kFirmwareGone = "Unable to open the firmware file.               ";
const std::string kCantCreate = "Unable to create the temporary firmware file.               ";
const std::string kCantOpenImage = "Unable to open the temporary firmware file.               ";

// A firmware of `pages` pages whose bytes differ from any other seed's.
Firmware SeededFirmware(unsigned pages, std::uint8_t seed) {
    Firmware f;
    f.image.resize(pages * 256u);
    for (std::size_t i = 0; i < f.image.size(); ++i) f.image[i] = static_cast<std::uint8_t>(i * 13 + seed);
    hexgen::AppendBlock(f.hex, 0, f.image, 32);
    hexgen::AppendEnd(f.hex);
    return f;
}

class Endings : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts(
            {{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial4", "COM5"}, {"\\Device\\Serial6", "COM7"}}));
        // A port stored by an earlier update: no failure may change it.
        ASSERT_TRUE(probe.StorePort(kStoredPort));
        tempDir = probe.TempDir();
        ASSERT_FALSE(tempDir.empty());
        fs::remove(tempDir + "/Hex.tmp");
    }

    void StartProgram(const std::string& name, const std::string& hex, bootsim::Options options = {}) {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::StartProgram("endings-" + name, hex, DeviceOn{kDevicePort, options}));
        ASSERT_TRUE(probe.NoMessageBoxAtStart());
    }

    bool Enabled(int id) {
        auto state = probe.State(id);
        return state && state->enabled;
    }

    // The window as an update that never started leaves it.
    void ExpectIdleAndUnchanged() {
        EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
        for (int id : {kBeginUpdate, kDone, kRefresh, kContactInfo, PortButton(3), PortButton(7)}) {
            EXPECT_TRUE(Enabled(id)) << id;
        }
        EXPECT_EQ(probe.Text(kResultLine), "");
        EXPECT_TRUE(device->WaitForLineClosed(5s)) << "the port stayed open";
        EXPECT_FALSE(FileExists(tempDir + "/Hex.tmp"));
        EXPECT_EQ(probe.StoredPort(), kStoredPort);
        EXPECT_TRUE(probe.NoMessageBox(800ms)) << "a second box";
    }

    std::string tempDir;
};

// --- an update that fails while it is armed ------------------------------------------------------

struct FailedBuild {
    const char* name;
    std::function<void(const std::string& folder)> whenThePortOpens;  // what befalls the firmware then
    std::string hex;
    std::string message;
};
void PrintTo(const FailedBuild& c, std::ostream* os) { *os << c.name; }

class FailedBuilds : public Endings, public ::testing::WithParamInterface<FailedBuild> {};

// The user was told to press reset right after Begin Update: the device answers every attention
// byte at once, and must hear nothing, before the box or while it is open.
TEST_P(FailedBuilds, GreetNoDeviceAndSayItOnce) {
    const FailedBuild& c = GetParam();
    bootsim::Options eager;
    eager.attentionsBeforePresence = 0;
    ASSERT_NO_FATAL_FAILURE(StartProgram(c.name, c.hex, eager));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForLineOpened(10s));
    c.whenThePortOpens(folder->Dir());

    auto box = probe.WaitMessageBox(15s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, c.message);
    EXPECT_EQ(box->icon, "none");
    EXPECT_EQ(probe.Text(kResultLine), "") << "the prompt asks for a reset behind the failure";
    // Three ticks of the poll timer go by while the user reads the box.
    std::this_thread::sleep_for(1600ms);
    EXPECT_EQ(device->AttentionBytes(), 0u);
    EXPECT_EQ(device->PresenceBytesSent(), 0u);
    EXPECT_EQ(device->GreetingsOk() + device->GreetingsBad(), 0u);
    ASSERT_TRUE(probe.CloseMessageBox());
    ExpectIdleAndUnchanged();
    EXPECT_EQ(device->AttentionBytes(), 0u);
    EXPECT_EQ(device->GreetingsOk() + device->GreetingsBad(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedBuilds,
    ::testing::Values(FailedBuild{"InvalidHex", [](const std::string&) {}, ":0400000001020304F1\n", kInvalidHex},
                      // The firmware file is checked before the port opens and read after it.
                      FailedBuild{"FirmwareGoneBeforeTheBuild",
                                  [](const std::string& folder) { fs::remove(folder + "/firmware.hex"); },
                                  MakeFirmware(2).hex, kFirmwareGone}),
    [](const auto& info) { return std::string(info.param.name); });

// --- two copies of the program, two devices ------------------------------------------------------

// A second copy of the program in a folder of its own, ended whatever way the case ends.
struct SecondCopy {
    explicit SecondCopy(const std::string& name) : folder(name) {}
    ~SecondCopy() {
        if (program.Running()) program.Kill();
        if (device) device->Stop();
        LinkPort(port, "");
    }
    ProgramFolder folder;
    Program program;
    std::unique_ptr<bootsim::Simulator> device;
    int port = 7;
};

// One bench, two devices: this copy is armed on COM5, its device not yet reset, when a second copy
// beside its own firmware presses Begin Update on COM7. The second copy can't have the page image
// and says so before anything goes to its device; this copy's device gets this copy's firmware.
// Once this update is over, the second copy updates its own device with its own firmware.
TEST_F(Endings, TwoCopiesEachUpdateTheirOwnDevice) {
    const Firmware mine = SeededFirmware(6, 0x11);
    const Firmware theirs = SeededFirmware(4, 0x5A);
    bootsim::Options later;
    later.attentionsBeforePresence = kUntilResetPressed;
    ASSERT_NO_FATAL_FAILURE(StartProgram("first-copy", mine.hex, later));
    const std::vector<std::uintptr_t> first = probe.Windows(kCaption);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(1, 10s));

    SecondCopy other("endings-second-copy");
    ASSERT_TRUE(other.folder.Put("Gathrix_Remote.txt", kDescription));
    ASSERT_TRUE(other.folder.Put("firmware.hex", theirs.hex));
    other.device = std::make_unique<bootsim::Simulator>();
    ASSERT_TRUE(other.device->Start(Bed::Get().PortLink(other.port)));
    ASSERT_TRUE(other.program.Start(other.folder.Dir()));
    std::uintptr_t second = 0;
    ASSERT_TRUE(Eventually(
        [&] {
            for (std::uintptr_t w : probe.Windows(kCaption))
                if (w != first[0]) second = w;
            return second != 0;
        },
        30s));
    ASSERT_TRUE(probe.UseWindow(second));
    ASSERT_NO_FATAL_FAILURE(CheckPort(other.port));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto refused = probe.WaitMessageBox(15s);
    ASSERT_TRUE(refused) << "the second copy armed an update on the first copy's image";
    EXPECT_EQ(refused->caption, "Firmware Update Error");
    EXPECT_EQ(refused->text.substr(0, kCantCreate.size() + 2), kCantCreate + "\n\n");
    EXPECT_NE(refused->text.find("another copy of this program"), std::string::npos) << refused->text;
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    EXPECT_TRUE(other.device->WaitForLineClosed(5s));
    EXPECT_EQ(other.device->AttentionBytes(), 0u);
    EXPECT_TRUE(FileExists(tempDir + "/Hex.tmp")) << "the second copy removed the first copy's image";

    ASSERT_TRUE(probe.UseWindow(first[0]));
    EXPECT_EQ(probe.Text(kBeginUpdate), "Cancel Update");
    EXPECT_EQ(device->PresenceBytesSent(), 0u) << "the first copy's update was no longer armed";
    device->PressReset();
    auto done = probe.WaitMessageBox(60s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->caption, "Firmware Update Complete");
    EXPECT_EQ(device->LastImage(), mine.image) << "the first device got another firmware";
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));

    ASSERT_TRUE(probe.UseWindow(second));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto theirsDone = probe.WaitMessageBox(60s);
    ASSERT_TRUE(theirsDone);
    EXPECT_EQ(theirsDone->caption, "Firmware Update Complete");
    EXPECT_EQ(other.device->LastImage(), theirs.image) << "the second device got another firmware";
    EXPECT_TRUE(other.device->ProtocolErrors().empty());
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kDone)));
    EXPECT_TRUE(other.program.WaitExit(10s).has_value());
    ASSERT_TRUE(probe.UseWindow(first[0]));
}

// --- failures on the PC's side -------------------------------------------------------------------

// A file system too small for the image, mounted for the length of a case.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& dir) : dir_(dir) {
        fs::create_directories(dir_);
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=16k") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount(dir_.c_str());
    }
    bool Mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// A full disk is no damaged firmware file: the message says the image can't be made, and the
// half-written image is gone.
TEST_F(Endings, FullDiskEndsAsAnImageThatCantBeCreated) {
    const std::string small = WorkDir() + "/endings-small-temp";
    SmallFileSystem disk(small);
    ASSERT_TRUE(disk.Mounted()) << "no tmpfs at " << small << " (the case mounts one and needs root)";
    ASSERT_NO_FATAL_FAILURE(UseTemporaryFolder(WindowsPath(small)));
    ASSERT_NO_FATAL_FAILURE(StartProgram("full-disk", MakeFirmware(257).hex));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    auto box = probe.WaitMessageBox(15s);
    ASSERT_TRUE(box) << "armed: is the program's temporary folder " << small << "?";
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, kCantCreate);
    EXPECT_EQ(box->icon, "none");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    EXPECT_TRUE(fs::is_empty(small)) << "something was left on the full disk";
    EXPECT_TRUE(device->WaitForLineClosed(5s));
    EXPECT_EQ(device->AttentionBytes(), 0u);
    EXPECT_EQ(probe.StoredPort(), kStoredPort);
}

// Pages are already on the device when the image gives out: the user hears that the update failed
// and what that means for the device.
TEST_F(Endings, UnreadablePageMidTransferIsAFailedUpdate) {
    ASSERT_NO_FATAL_FAILURE(StartProgram("unreadable-page", MakeFirmware(8).hex, bootsim::Options{}));
    device->HoldAnswerTo(2);
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForHeldAnswer(2, 20s));
    // The program holds the image against every other Windows program; only the disk beneath can
    // take pages away from it. It waits for the answer to the third page meanwhile.
    ASSERT_EQ(::truncate((tempDir + "/Hex.tmp").c_str(), 3 * 256), 0);
    device->ReleaseHeldAnswer();

    auto box = probe.WaitMessageBox(20s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->icon, "exclamation");
    const std::string opening =
        "Unable to read the temporary firmware file for the Gathrix RS-232 Remote.     \n\n"
        "Firmware update terminated.\n\n"
        "If some of the hex file was transferred, the firmware in the Gathrix RS-232 Remote may be corrupt.     \n\n"
        "You should retry the firmware update procedure.\n";
    EXPECT_EQ(box->text.substr(0, opening.size()), opening);
    EXPECT_EQ(probe.Text(kResultLine), "Firmware update failed");
    EXPECT_EQ(device->Frames().size(), 3u);
    EXPECT_EQ(device->EndMarkers(), 0u);
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    EXPECT_FALSE(FileExists(tempDir + "/Hex.tmp"));
    EXPECT_EQ(probe.StoredPort(), kStoredPort);
}

// An image longer than the page numbers can tell is refused whole before the first frame, never
// sent cut short.
TEST_F(Endings, ImageWithMorePagesThanPageNumbersIsRefused) {
    bootsim::Options later;
    later.attentionsBeforePresence = kUntilResetPressed;
    ASSERT_NO_FATAL_FAILURE(StartProgram("too-many-pages", MakeFirmware(2).hex, later));
    ASSERT_TRUE(probe.Click(kBeginUpdate));
    ASSERT_TRUE(device->WaitForAttentionBytes(1, 10s));
    ASSERT_EQ(::truncate((tempDir + "/Hex.tmp").c_str(), 0x10000LL * 256), 0);
    device->PressReset();

    auto box = probe.WaitMessageBox(20s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Error");
    EXPECT_EQ(box->text, kCantOpenImage);
    EXPECT_EQ(device->Frames().size(), 0u);
    EXPECT_EQ(device->EndMarkers(), 0u);
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(TextBecomes(kBeginUpdate, "Begin Update"));
    EXPECT_EQ(probe.StoredPort(), kStoredPort);
}

// --- description lines longer than any name ------------------------------------------------------

constexpr std::size_t kLongest = 32767;

TEST_F(Endings, LongVersionLineIsShownCut) {
    const std::string version = "2.32 " + std::string(kLongest + 500, 'v');
    ASSERT_NO_FATAL_FAILURE(
        ProgramTest::StartProgram("endings-long-version", MakeFirmware(1).hex, std::nullopt, version + "\nfirmware.hex\n"));
    EXPECT_TRUE(probe.NoMessageBox(1s));
    EXPECT_EQ(probe.Text(kFirmwareVersionLine), "Firmware version  =  " + version.substr(0, kLongest));
    EXPECT_EQ(probe.Text(kFirmwareFileLine).rfind("Firmware file  =  firmware.hex     (", 0), 0u) << probe.Text(kFirmwareFileLine);
    EXPECT_TRUE(Enabled(kBeginUpdate));
}

TEST_F(Endings, LongFirmwareNameLineIsAFileThatCantBeOpened) {
    const std::string name = std::string(kLongest + 500, 'n') + ".hex";
    ASSERT_NO_FATAL_FAILURE(
        ProgramTest::StartProgram("endings-long-name", MakeFirmware(1).hex, std::nullopt, "2.32\n" + name + "\n"));
    auto box = probe.WaitMessageBox(15s);
    ASSERT_TRUE(box);
    // A box text this long can't be read from another process under Wine; the file line can.
    EXPECT_EQ(box->caption, "Gathrix RS-232 Remote Update");
    EXPECT_EQ(box->icon, "exclamation");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(probe.Text(kFirmwareFileLine), "Firmware file  =  " + name.substr(0, kLongest));
    EXPECT_EQ(probe.Text(kFirmwareVersionLine), "Firmware version  =  ");
    EXPECT_FALSE(Enabled(kBeginUpdate));
    EXPECT_TRUE(probe.NoMessageBox(500ms));
}

}  // namespace

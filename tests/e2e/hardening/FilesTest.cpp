// Names that aren't files. The description file names the firmware file, and what it names is
// used only when it is a regular file on disk: a device (a serial port, NUL, the console), a pipe,
// a folder, or a name the platform would change (a trailing blank or dot) gets the message of a
// file that can't be opened, at once, and the window stays usable.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "Firmware.h"
#include "ProgramTest.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

constexpr int kDevicePort = 5;

// What lies in the program folder besides the description file, by the name it is given.
enum class Thing { Nothing, HexFile, Fifo, Folder };

struct NameCase {
    const char* name;
    const char* fileName;  // line 2 of the description
    Thing thing;           // made under thingName
    const char* thingName;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

bool Make(const ProgramFolder& folder, Thing thing, const std::string& name, const std::string& hex) {
    switch (thing) {
        case Thing::Nothing: return true;
        case Thing::HexFile: return folder.Put(name, hex);
        case Thing::Fifo: return ::mkfifo(folder.Path(name).c_str(), 0600) == 0;
        case Thing::Folder: return std::filesystem::create_directory(folder.Path(name));
    }
    return false;
}

class Names : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial4", "COM5"}}));
        ASSERT_TRUE(probe.ForgetStoredPort());
        // A device on COM5 that would answer: a name that reaches the port finds it open.
        ASSERT_NO_FATAL_FAILURE(StartDevice(DeviceOn{kDevicePort}));
    }

    // Starts the program and waits for its first message box; the time it took from the start.
    std::optional<MessageBoxSeen> StartUntilMessage(const ProgramFolder& folder, std::chrono::milliseconds& took) {
        auto start = Clock::now();
        if (!program.Start(folder) || !probe.WaitWindow(kCaption, 30s)) {
            return std::nullopt;
        }
        auto box = probe.WaitMessageBox(10s);
        took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return box;
    }

    bool Enabled(int id) {
        auto state = probe.State(id);
        return state && state->enabled;
    }
};

class FirmwareNames : public Names, public ::testing::WithParamInterface<NameCase> {};

// Every such name is reported as a firmware file that can't be opened, and firmware update is off.
TEST_P(FirmwareNames, ReportedAsAFileThatCantBeOpened) {
    const NameCase& c = GetParam();
    folder.emplace(std::string("names-") + c.name);
    Firmware firmware = MakeFirmware(2);
    ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", std::string("2.32\n") + c.fileName + "\n"));
    ASSERT_TRUE(Make(*folder, c.thing, c.thingName, firmware.hex));

    std::chrono::milliseconds took{};
    auto box = StartUntilMessage(*folder, took);
    ASSERT_TRUE(box) << "no message: the program is waiting on " << c.fileName;
    std::printf("[ %s ] message after %lld ms from the start\n", c.name, static_cast<long long>(took.count()));
    RecordProperty("message_ms", std::to_string(took.count()));
    EXPECT_EQ(box->caption, kMessageCaption);
    EXPECT_EQ(box->text, std::string("Unable to open the firmware hex file:     \n     ") + c.fileName + "     ");
    EXPECT_EQ(box->icon, "exclamation");
    ASSERT_TRUE(probe.CloseMessageBox());

    EXPECT_TRUE(probe.NoMessageBox(500ms));
    EXPECT_EQ(probe.Text(kFirmwareFileLine), std::string("Firmware file  =  ") + c.fileName);
    EXPECT_EQ(probe.Text(kFirmwareVersionLine), "Firmware version  =  ");
    EXPECT_FALSE(Enabled(kBeginUpdate));
}

INSTANTIATE_TEST_SUITE_P(Cases, FirmwareNames,
                         ::testing::Values(NameCase{"Missing", "gx.hex", Thing::Nothing, ""},
                                           NameCase{"SerialPortWithADevice", "COM5", Thing::Nothing, ""},
                                           NameCase{"SerialPortInstalled", "COM3", Thing::Nothing, ""},
                                           NameCase{"SerialPortWithExtension", "COM5.hex", Thing::Nothing, ""},
                                           NameCase{"Null", "NUL", Thing::Nothing, ""},
                                           NameCase{"NullWithExtension", "nul.hex", Thing::Nothing, ""},
                                           NameCase{"Console", "CON", Thing::Nothing, ""},
                                           NameCase{"Auxiliary", "AUX", Thing::Nothing, ""},
                                           NameCase{"Printer", "LPT1", Thing::Nothing, ""},
                                           NameCase{"Pipe", "gx.hex", Thing::Fifo, "gx.hex"},
                                           NameCase{"Folder", "gx.hex", Thing::Folder, "gx.hex"},
                                           // The platform strips trailing blanks and dots from a plain path: gx.hex is
                                           // there, but the name is another.
                                           NameCase{"TrailingBlank", "gx.hex ", Thing::HexFile, "gx.hex"},
                                           NameCase{"TrailingBlanks", "gx.hex   ", Thing::HexFile, "gx.hex"},
                                           NameCase{"TrailingDot", "gx.hex.", Thing::HexFile, "gx.hex"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The description file itself as a pipe or a folder: the message of a missing description.
struct DescriptionCase {
    const char* name;
    Thing thing;
};

void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }

class DescriptionNames : public Names, public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(DescriptionNames, ReportedAsADescriptionThatCantBeOpened) {
    const DescriptionCase& c = GetParam();
    folder.emplace(std::string("description-") + c.name);
    ASSERT_TRUE(Make(*folder, c.thing, "Gathrix_Remote.txt", ""));
    std::chrono::milliseconds took{};
    auto box = StartUntilMessage(*folder, took);
    ASSERT_TRUE(box) << "no message: the program is waiting on the description file";
    std::printf("[ %s ] message after %lld ms from the start\n", c.name, static_cast<long long>(took.count()));
    const std::string path = WindowsPath(folder->Dir() + "/Gathrix_Remote.txt");
    EXPECT_EQ(box->text, "Unable to open the firmware description file:     \n     " + path +
                             "     \n\nFirmware update wil be disabled.");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    EXPECT_FALSE(Enabled(kBeginUpdate));
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionNames,
                         ::testing::Values(DescriptionCase{"Pipe", Thing::Fifo},
                                           DescriptionCase{"Folder", Thing::Folder}),
                         [](const auto& info) { return std::string(info.param.name); });

// The firmware file turned into a pipe after the start: Begin Update reports it and arms nothing.
TEST_F(Names, FirmwareReplacedByAPipeBeforeBeginUpdate) {
    Firmware firmware = MakeFirmware(2);
    folder.emplace("names-replaced-by-pipe");
    ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", "2.32\ngx.hex\n"));
    ASSERT_TRUE(folder->Put("gx.hex", firmware.hex));
    ASSERT_NO_FATAL_FAILURE(StartProgramIn(folder->Dir()));
    ASSERT_TRUE(probe.NoMessageBoxAtStart());
    ASSERT_NO_FATAL_FAILURE(CheckPort(kDevicePort));
    ASSERT_TRUE(Enabled(kBeginUpdate));

    std::filesystem::remove(folder->Path("gx.hex"));
    ASSERT_EQ(::mkfifo(folder->Path("gx.hex").c_str(), 0600), 0);
    auto took = probe.ClickUntilMessageBox(kBeginUpdate, 10s);
    ASSERT_TRUE(took) << "no message: the program is waiting on the pipe";
    auto box = probe.WaitMessageBox(1s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Unable to open the firmware hex file:     \n     gx.hex     ");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(probe.NoMessageBox(500ms));
    EXPECT_EQ(probe.Text(kBeginUpdate), "Begin Update");
    EXPECT_FALSE(Enabled(kBeginUpdate));
    EXPECT_EQ(device->AttentionBytes(), 0u);
}

}  // namespace

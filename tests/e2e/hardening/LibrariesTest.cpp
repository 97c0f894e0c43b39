// No planted library runs. A library named like the rich edit library beside the program, or in
// the directory it is started from, is never loaded, while the About box's links still work. Wine
// is told to prefer a library found on disk over its own (riched20=n,b), so that it searches for
// it as Windows does.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "ProgramTest.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

constexpr int kContactBlock = 1016;  // in the About box
constexpr int kMailLine = 2;
constexpr char kMailTarget[] = "mailto:support@vostrel-systems.example?Subject=Firmware Update";
constexpr char kLoadRecord[] = "planted-library-loaded.txt";

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string PlantedLibrary() { return WinBuildDir() + "/tools/plantedlib/RICHED20.DLL"; }

struct PlantCase {
    const char* name;
    bool besideProgram;     // planted in the program's folder
    bool inStartDirectory;  // planted in the directory the program is started from
};

void PrintTo(const PlantCase& c, std::ostream* os) { *os << c.name; }

// The program is started here, not through the base: it needs its own environment and start
// directory. The base still brings the probe and puts the port list back.
class PlantedLibraries : public ProgramTest, public ::testing::WithParamInterface<PlantCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(PlantedLibrary())) << "the planted library is not built: " << PlantedLibrary();
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial2", "COM3"}}));
        const PlantCase& c = GetParam();
        folder.emplace(std::string("planted-") + c.name);
        start.emplace(std::string("planted-start-") + c.name, false);
        ASSERT_TRUE(folder->Put("Gathrix_Remote.txt", "2.32\nfirmware.hex\n"));
        ASSERT_TRUE(folder->Put("firmware.hex", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n"));
        std::error_code ec;
        if (c.besideProgram) {
            ASSERT_TRUE(fs::copy_file(PlantedLibrary(), folder->Path("RICHED20.DLL"), ec)) << ec.message();
        }
        if (c.inStartDirectory) {
            ASSERT_TRUE(fs::copy_file(PlantedLibrary(), start->Path("RICHED20.DLL"), ec)) << ec.message();
        }
        std::string recorder = WindowsPath(WinBuildDir() + "/tools/shellrecorder/tlyn_shellrecorder.exe");
        std::string open = "\"" + recorder + "\" \"" + WindowsPath(folder->Path("links.log")) + "\" \"%1\"";
        ASSERT_NO_FATAL_FAILURE(OpenAddressesWith("mailto", open));
    }

    void TearDown() override {
        if (launched.Running()) {
            if (probe.AskOk("wait-dialog 100")) {
                probe.AskOk("dialog-click 1");
                probe.AskOk("no-dialog 3000");
            }
            probe.Click(kDone);
            if (!launched.Wait(10s)) launched.Kill();
        }
        ProgramTest::TearDown();
    }

    // The program from its folder, started in the other directory, with the native-first load
    // order for the rich edit library.
    bool StartProgram() {
        std::map<std::string, std::string> env = Bed::Get().env;
        env["WINEDLLOVERRIDES"] = env["WINEDLLOVERRIDES"] + ";riched20=n,b";
        return launched.Start({"wine", folder->Path("TLYN_Update.exe")}, env, start->Dir(), start->Path("program.log"),
                              false);
    }

    std::vector<std::string> Opened() {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(folder->Path("links.log")));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    ChildProcess launched;  // the program as StartProgram starts it
    std::optional<ProgramFolder> start;
};

TEST_P(PlantedLibraries, NeverLoadedAndTheLinksStillWork) {
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(probe.WaitWindow(kCaption));
    ASSERT_TRUE(probe.NoMessageBoxAtStart());

    ASSERT_TRUE(probe.AskOk("press " + std::to_string(kContactInfo)));
    ASSERT_TRUE(probe.AskOk("wait-dialog 5000", 10s)) << "no About box: its rich edit control is missing";
    auto point =
        probe.AskOk("dialog-char-point " + std::to_string(kContactBlock) + " " + std::to_string(kMailLine) + " 8");
    ASSERT_TRUE(point && point->find(" over=1") != std::string::npos);
    std::string at = point->substr(0, point->find(' '));
    at[at.find(':')] = ' ';
    ASSERT_TRUE(probe.AskOk("mouse-click " + at));
    EXPECT_TRUE(Eventually([&] { return !Opened().empty(); }, 10s, 50ms)) << "no link opened";
    EXPECT_EQ(Opened(), std::vector<std::string>{kMailTarget});

    EXPECT_FALSE(FileExists(folder->Path(kLoadRecord))) << ReadFile(folder->Path(kLoadRecord));
    EXPECT_FALSE(FileExists(start->Path(kLoadRecord))) << ReadFile(start->Path(kLoadRecord));
}

INSTANTIATE_TEST_SUITE_P(Places, PlantedLibraries,
                         ::testing::Values(PlantCase{"BesideTheProgram", true, false},
                                           PlantCase{"InTheStartDirectory", false, true},
                                           PlantCase{"InBoth", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

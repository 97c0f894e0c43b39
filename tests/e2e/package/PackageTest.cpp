// The release package as a Windows user gets it: unpacked into a fresh folder, the program runs from
// there and updates the (simulated) device with the sample firmware beside it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "Session.h"
#include "firmware/HexImage.h"
#include "tools/bootsim/Simulator.h"

namespace {

using namespace e2e;

TEST(Package, UnpackedProgramUpdatesWithItsSampleFirmware) {
    Probe probe;
    ASSERT_TRUE(probe.Start());
    ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial0", "COM1"}}));
    ASSERT_TRUE(probe.ForgetStoredPort());

    ProgramFolder root("package-run", false);
    std::string command = "cd '" + root.Dir() + "' && cmake -E tar xf '" + WinBuildDir() +
                          "/TLYN_Update-2.0.0.34-win64.zip'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string dir = root.Dir() + "/TLYN_Update-2.0.0.34-win64";
    for (const char* name : {"TLYN_Update.exe", "Gathrix_Remote.txt", "GX-REM2-Sample.hex"}) {
        ASSERT_TRUE(FileExists(dir + "/" + name)) << name;
    }
    firmware::HexConversion expected = firmware::ConvertHexToImage(ReadFile(dir + "/GX-REM2-Sample.hex"));
    ASSERT_EQ(expected.status, firmware::HexStatus::Ok);

    bootsim::Simulator device;
    ASSERT_TRUE(device.Start(Bed::Get().PortLink(1)));
    Program program;
    ASSERT_TRUE(program.Start(dir));
    ASSERT_TRUE(probe.WaitWindow("Gathrix RS-232 Remote Firmware Update"));
    EXPECT_EQ(probe.Text(1009), "Firmware version  =  GX-REM2 2.32 (sample)");
    EXPECT_EQ(probe.Text(1008).rfind("Firmware file  =  GX-REM2-Sample.hex     (", 0), 0u);
    ASSERT_TRUE(probe.Click(1006));

    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_EQ(device.LastImage(), expected.image);
    EXPECT_EQ(device.Frames().size(), expected.image.size() / 256);
    EXPECT_EQ(probe.StoredPort(), 1);

    probe.Click(2);
    EXPECT_TRUE(program.WaitExit(10s));
    EXPECT_EQ(device.ProtocolErrors(), std::vector<std::string>{});
    device.Stop();
    LinkPort(1, "");
}

}  // namespace

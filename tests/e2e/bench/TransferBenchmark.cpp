// Wall time of a full 257-page transfer against its floor. Not a test: run it with the test bed
// started,
//   bash tests/bed/winbed.sh start build/bed --own-display
//   build/native/tests/e2e/bench/tlyn_transfer_benchmark [--exe PATH]
//   bash tests/bed/winbed.sh stop build/bed
// The floor is the pauses the protocol requires and nothing else: 100 + 20 before the version
// line, 257 x (20 + 10 + 20) around the frames, and 20 after the end marker. Every answer of the
// device (1 ms here) arrives inside a pause and adds nothing. Timed on the device's side, from the
// attention byte of the tick that found the boot loader to the end of the pause after the end
// marker.
//
// The program built by the bench preset (cmake --preset bench && cmake --build --preset bench)
// also writes where its time went; that build is taken when it exists, the release otherwise.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Firmware.h"
#include "Session.h"
#include "Window.h"
#include "tools/bootsim/Simulator.h"

using namespace e2e;

namespace {

constexpr unsigned kPages = 257;
constexpr int kPort = 5;
constexpr double kFloorMs = 100 + 20 + kPages * (20 + 10 + 20) + 20;

double Ms(bootsim::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string ChooseProgram(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--exe") return argv[2];
    const std::string bench = WinBuildDir() + "/../bench/TLYN_Update.exe";
    return FileExists(bench) ? bench : WinBuildDir() + "/TLYN_Update.exe";
}

// Mean per frame of what the device saw beyond each pause.
void PrintDeviceView(const std::vector<bootsim::Frame>& frames) {
    double numberToData = 0, dataOnLine = 0, dataToChecksum = 0, checksumToNext = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        numberToData += Ms(frames[k].dataAt - frames[k].numberAt) - 20;
        dataOnLine += Ms(frames[k].dataEndAt - frames[k].dataAt);
        dataToChecksum += Ms(frames[k].checksumAt - frames[k].dataEndAt) - 10;
        if (k + 1 < frames.size()) checksumToNext += Ms(frames[k + 1].numberAt - frames[k].checksumAt) - 20;
    }
    const double n = static_cast<double>(frames.size());
    std::printf(
        "device's view, mean ms per frame beyond the pauses: page number to data %.3f, data on the line %.3f, "
        "data to checksum %.3f, checksum to the next page number %.3f\n",
        numberToData / n, dataOnLine / n, dataToChecksum / n, checksumToNext / (n - 1));
}

// The stages the bench build of the program traced, per frame.
void PrintProgramView(const std::string& tracePath) {
    std::ifstream in(tracePath);
    if (!in) {
        std::printf("program's view: no trace (a release build)\n");
        return;
    }
    std::string line, name;
    std::printf("program's view, ms per frame (total ms):\n");
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double total = 0, perFrame = 0;
        fields >> name >> total;
        if (name == "frames") continue;
        fields >> perFrame;
        std::printf("  %-18s %8.4f  (%9.2f)\n", name.c_str(), perFrame, total);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string exe = ChooseProgram(argc, argv);
    const Firmware firmware = MakeFirmware(kPages);

    Probe probe;
    if (!probe.Start() || !probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}})) {
        std::fprintf(stderr, "no probe: is the test bed started?\n");
        return 1;
    }
    ProgramFolder folder("transfer-benchmark", false);
    std::error_code ec;
    std::filesystem::copy_file(exe, folder.Path("TLYN_Update.exe"), ec);
    folder.Put("Gathrix_Remote.txt", "bench\nfirmware.hex\n");
    folder.Put("firmware.hex", firmware.hex);
    bootsim::Options options;
    options.replyTime = std::chrono::milliseconds(1);
    bootsim::Simulator device(options);
    Program program;
    if (ec || !device.Start(Bed::Get().PortLink(kPort)) || !program.Start(folder) || !probe.WaitWindow(kCaption) ||
        !probe.Click(kBeginUpdate)) {
        std::fprintf(stderr, "could not start the update with %s\n", exe.c_str());
        return 1;
    }
    const bool ended = device.WaitForEndMarker(120s) && device.WaitForLineClosed(10s);
    probe.WaitMessageBox(10s);
    probe.CloseMessageBox();
    probe.Click(kDone);
    program.WaitExit(10s);
    device.Stop();
    LinkPort(kPort, "");

    const std::vector<bootsim::Frame> frames = device.Frames();
    const std::vector<bootsim::Clock::time_point> attentions = device.AttentionTimes();
    if (!ended || frames.size() != kPages || attentions.empty() || device.LastImage() != firmware.image) {
        std::fprintf(stderr, "transfer did not complete\n");
        return 1;
    }
    const double wall = Ms(device.EndMarkerTime() - attentions.back()) + 20;
    std::printf("transfer of %u pages with %s\n", kPages, exe.c_str());
    std::printf(
        "  finding tick to the end of the pause after the end marker: %.0f ms; floor %.0f ms; "
        "ratio %.4f (%.2f %% over)\n",
        wall, kFloorMs, wall / kFloorMs, (wall / kFloorMs - 1.0) * 100.0);
    std::printf("  then until the program let the line go: %.1f ms\n",
                Ms(device.LineClosedTime() - device.EndMarkerTime()) - 20);
    for (const std::string& error : device.ProtocolErrors()) std::printf("  protocol error: %s\n", error.c_str());
    if (!device.ReaderRaised()) std::printf("  note: the device's reader ran at normal priority\n");
    PrintDeviceView(frames);
    PrintProgramView(folder.Path("transfer-trace.txt"));
    return 0;
}

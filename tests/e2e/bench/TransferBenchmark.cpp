// Wall time of a full 257-page transfer against its floor, once on the bare pseudo-terminal and
// once on a line at a cable's pace. Not a test: run it with the test bed started,
//   bash tests/bed/winbed.sh start build/bed --own-display
//   build/native/tests/e2e/bench/tlyn_transfer_benchmark [--exe PATH]
//   bash tests/bed/winbed.sh stop build/bed
// Both are timed on the device's side, from the attention byte of the tick that found the boot
// loader to the end marker, as the program wrote them.
//
// On the pseudo-terminal the floor is the pauses the protocol requires and nothing else: 100 + 20
// before the first frame, then 257 x (20 + 10 + 20) around the frames. Every answer of the device
// (1 ms here) arrives inside a pause and adds nothing.
//
// At 38400 baud a byte takes ten bits, 0.2604 ms, and the wire sets the floor of a frame: the
// 20 ms pause after the page number, then the data and checksum on the wire (257 bytes), then the
// device's answer (1 ms) and its byte on the wire. The pause after the data and the one after the
// checksum run while those bytes are still on the wire and add nothing. Before the first frame:
// 100 ms, then the 20 ms pause after the greeting, which outlasts the greeting, the device's answer
// and its version line on the wire.
//
// The program built by the bench preset (cmake --preset bench && cmake --build --preset bench)
// also writes where its time went; that build is taken when it exists, the release otherwise.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Firmware.h"
#include "Session.h"
#include "Window.h"
#include "tools/bootsim/Cable.h"
#include "tools/bootsim/Simulator.h"

using namespace e2e;

namespace {

constexpr unsigned kPages = 257;
constexpr int kPort = 5;
constexpr unsigned kBaud = 38400;
constexpr double kReplyMs = 1;

double Ms(bootsim::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double PseudoTerminalFloorMs() { return 100 + 20 + kPages * (20 + 10 + 20); }

double LineFloorMs() {
    const double byteMs = Ms(bootsim::ByteTime(kBaud));
    const double greeting = 100 + std::max(20.0, (20 + 14) * byteMs + kReplyMs);
    return greeting + kPages * (20 + 257 * byteMs + kReplyMs + byteMs);
}

std::string ChooseProgram(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--exe") return argv[2];
    const std::string bench = WinBuildDir() + "/../bench/TLYN_Update.exe";
    return FileExists(bench) ? bench : WinBuildDir() + "/TLYN_Update.exe";
}

// Mean per frame of what the device saw beyond each pause, from when the program wrote.
void PrintDeviceView(const std::vector<bootsim::Frame>& frames) {
    double numberToData = 0, dataToChecksum = 0, checksumToNext = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        numberToData += Ms(frames[k].dataAt - frames[k].numberAt) - 20;
        dataToChecksum += Ms(frames[k].checksumAt - frames[k].dataEndAt) - 10;
        if (k + 1 < frames.size()) checksumToNext += Ms(frames[k + 1].numberAt - frames[k].checksumAt) - 20;
    }
    const double n = static_cast<double>(frames.size());
    std::printf(
        "  as the program wrote, mean ms per frame beyond the pauses: page number to data %.3f, data to checksum "
        "%.3f, checksum to the next page number %.3f\n",
        numberToData / n, dataToChecksum / n, checksumToNext / (n - 1));
}

// The stages the bench build of the program traced, per frame.
void PrintProgramView(const std::string& tracePath) {
    std::ifstream in(tracePath);
    if (!in) {
        std::printf("  program's view: no trace (a release build)\n");
        return;
    }
    std::string line, name;
    std::printf("  program's view, ms per frame (total ms):\n");
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double total = 0, perFrame = 0;
        fields >> name >> total;
        if (name == "frames") continue;
        fields >> perFrame;
        std::printf("    %-18s %8.4f  (%9.2f)\n", name.c_str(), perFrame, total);
    }
}

// One update of the whole image with the device on the given line; false when it did not complete.
bool TimeTransfer(Probe& probe, const std::string& exe, const Firmware& firmware, bool paced) {
    ProgramFolder folder(paced ? "transfer-benchmark-paced" : "transfer-benchmark", false);
    std::error_code ec;
    std::filesystem::copy_file(exe, folder.Path("TLYN_Update.exe"), ec);
    folder.Put("Gathrix_Remote.txt", "bench\nfirmware.hex\n");
    folder.Put("firmware.hex", firmware.hex);
    bootsim::Options options;
    options.replyTime = std::chrono::milliseconds(static_cast<int>(kReplyMs));
    options.pacedLine = paced;
    bootsim::Simulator device(options);
    Program program;
    if (ec || !device.Start(Bed::Get().PortLink(kPort)) || !program.Start(folder) || !probe.WaitWindow(kCaption) ||
        !probe.Click(kBeginUpdate)) {
        std::fprintf(stderr, "could not start the update with %s\n", exe.c_str());
        return false;
    }
    const bool ended = device.WaitForEndMarker(180s) && device.WaitForLineClosed(10s);
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
        return false;
    }
    const double wall = Ms(device.EndMarkerTime() - attentions.back());
    const double floor = paced ? LineFloorMs() : PseudoTerminalFloorMs();
    std::printf("%s\n", paced ? "on a line at 38400 baud, paced as a cable (10 bits a byte)"
                               : "on the pseudo-terminal (no time on the wire)");
    std::printf("  finding tick to the end marker: %.0f ms; floor %.0f ms; ratio %.4f (%.2f %% over)\n", wall, floor,
                wall / floor, (wall / floor - 1.0) * 100.0);
    std::printf("  then until the program let the line go: %.1f ms\n",
                Ms(device.LineClosedTime() - device.EndMarkerTime()));
    for (const std::string& error : device.ProtocolErrors()) std::printf("  protocol error: %s\n", error.c_str());
    if (!device.ReaderRaised()) std::printf("  note: the device's reader ran at normal priority\n");
    PrintDeviceView(frames);
    PrintProgramView(folder.Path("transfer-trace.txt"));
    return true;
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
    std::printf("transfer of %u pages with %s\n", kPages, exe.c_str());
    if (!TimeTransfer(probe, exe, firmware, false)) return 1;
    if (!TimeTransfer(probe, exe, firmware, true)) return 1;
    return 0;
}

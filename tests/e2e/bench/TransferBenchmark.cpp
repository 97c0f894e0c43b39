// Wall time of a full 257-page transfer against its floor, the pauses the protocol requires plus
// the device's reply time. Not a test: run it with the test bed started,
//   bash tests/bed/winbed.sh start build/bed --own-display
//   build/native/tests/e2e/bench/tlyn_transfer_benchmark
//   bash tests/bed/winbed.sh stop build/bed
// Timed from the greeting arriving at the device to the end marker arriving there, so the floor is
// 20 (after the greeting) + 257 x 50 (after the page number, the data and the checksum) + 20 (after
// the end marker's last byte is not waited for, so it is left out) plus one reply time for the version
// line, the ready byte and every page.
#include <chrono>
#include <cstdio>
#include <thread>

#include "Session.h"
#include "Window.h"
#include "tools/bootsim/Simulator.h"
#include "tools/hexbench/HexWriter.h"

using namespace e2e;

int main() {
    constexpr unsigned kPages = 257;
    constexpr int kPort = 5;
    const auto replyTime = std::chrono::milliseconds(1);

    std::vector<std::uint8_t> image(0xFFC0 + 93);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13);
    std::string hex;
    hexgen::AppendBlock(hex, 0, std::vector<std::uint8_t>(image.begin(), image.begin() + 0xFFC0), 32);
    hexgen::AppendData(hex, 0xFFC0, std::vector<std::uint8_t>(image.begin() + 0xFFC0, image.end()));
    hexgen::AppendEnd(hex);

    Probe probe;
    if (!probe.Start() || !probe.SetInstalledPorts({{"\\Device\\Serial4", "COM5"}})) {
        std::fprintf(stderr, "no probe: is the test bed started?\n");
        return 1;
    }
    ProgramFolder folder("transfer-benchmark");
    folder.Put("Gathrix_Remote.txt", "bench\nfirmware.hex\n");
    folder.Put("firmware.hex", hex);
    bootsim::Options options;
    options.replyTime = replyTime;
    bootsim::Simulator device(options);
    Program program;
    if (!device.Start(Bed::Get().PortLink(kPort)) || !program.Start(folder) ||
        !probe.WaitWindow(kCaption) || !probe.Click(kBeginUpdate)) {
        std::fprintf(stderr, "could not start the update\n");
        return 1;
    }
    if (!device.WaitForGreeting(30s)) {
        std::fprintf(stderr, "no greeting\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    bool ended = device.WaitForEndMarker(60s);
    auto wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    probe.WaitMessageBox(10s);
    probe.CloseMessageBox();
    probe.Click(kDone);
    program.WaitExit(10s);
    device.Stop();
    LinkPort(kPort, "");
    if (!ended || device.Frames().size() != kPages) {
        std::fprintf(stderr, "transfer did not complete\n");
        return 1;
    }
    double floor = 20.0 + kPages * 50.0 + (kPages + 2) * static_cast<double>(replyTime.count());
    std::printf("transfer of %u pages: %.0f ms; floor %.0f ms; ratio %.3f (%.1f %% over)\n", kPages, wall, floor,
                wall / floor, (wall / floor - 1.0) * 100.0);
    return 0;
}

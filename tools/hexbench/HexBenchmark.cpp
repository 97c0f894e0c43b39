// Times the HEX converter against srec_cat on the largest firmware file the image allows:
// 16-byte records from 0x0008 to 0xFFF8, the last one running past 0xFFFF, so 257 pages.
//
//   cmake --preset native && cmake --build build/native -j2 --target tlyn_hex_benchmark
//   build/native/tools/hexbench/tlyn_hex_benchmark [work-directory]
//
// The work directory (default: the current one) receives largest.hex and srec_cat's output.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "firmware/HexImage.h"
#include "tests/support/HexWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kFirstAddress = 0x0008;
constexpr std::size_t kRecordLength = 16;
constexpr std::size_t kDataLength = 0x10000;  // up to address 0x10007
constexpr int kConverterRuns = 2000;
constexpr int kSrecRuns = 10;

std::vector<std::uint8_t> RandomBytes(std::size_t count) {
    std::mt19937 random(20111209);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() & 0xFF);
    return bytes;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

bool ReadFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Best of many conversions; false if any conversion disagrees with the data.
bool TimeConverter(const std::string& text, const std::vector<std::uint8_t>& data, double& best) {
    best = 1e300;
    for (int run = 0; run < kConverterRuns; ++run) {
        const auto start = Clock::now();
        const firmware::HexConversion result = firmware::ConvertHexToImage(text);
        const auto took = Clock::now() - start;
        best = std::min(best, Microseconds(took));
        if (result.status != firmware::HexStatus::Ok ||
            result.image.size() != firmware::kMaxPages * firmware::kPageSize ||
            !std::equal(data.begin(), data.end(), result.image.begin() + kFirstAddress)) {
            return false;
        }
    }
    return true;
}

// Best of a few whole srec_cat runs, each including its process start through the shell.
bool TimeSrecCat(const std::filesystem::path& hex, const std::filesystem::path& bin,
                 const std::vector<std::uint8_t>& data, double& best) {
    const std::string command =
        std::string("'") + TLYN_SREC_CAT + "' '" + hex.string() + "' -intel -o '" + bin.string() + "' -binary";
    best = 1e300;
    for (int run = 0; run < kSrecRuns; ++run) {
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        const auto took = Clock::now() - start;
        if (status != 0) return false;
        best = std::min(best, Microseconds(took));
    }
    std::vector<std::uint8_t> out;
    return ReadFile(bin, out) && out.size() == kFirstAddress + data.size() &&
           std::equal(data.begin(), data.end(), out.begin() + kFirstAddress);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path dir = argc > 1 ? argv[1] : ".";
    const std::filesystem::path hex = dir / "largest.hex";
    const std::filesystem::path bin = dir / "largest.bin";

    const std::vector<std::uint8_t> data = RandomBytes(kDataLength);
    std::string text;
    hexgen::AppendBlock(text, kFirstAddress, data, kRecordLength);
    hexgen::AppendEnd(text);
    if (!WriteFile(hex, text)) {
        std::fprintf(stderr, "cannot write %s\n", hex.string().c_str());
        return 1;
    }
    std::printf("file: %s, %zu bytes of HEX text, %zu data bytes in %zu-byte records, image %zu pages\n",
                hex.string().c_str(), text.size(), data.size(), kRecordLength, firmware::kMaxPages);

    double ours = 0;
    if (!TimeConverter(text, data, ours)) {
        std::fprintf(stderr, "converter gave a wrong image\n");
        return 1;
    }
    double theirs = 0;
    if (!TimeSrecCat(hex, bin, data, theirs)) {
        std::fprintf(stderr, "srec_cat (%s) failed or gave a different image\n", TLYN_SREC_CAT);
        return 1;
    }
    std::printf("ConvertHexToImage: best of %d runs, in process: %10.1f us\n", kConverterRuns, ours);
    std::printf("srec_cat:          best of %d runs, process start via /bin/sh included: %10.1f us\n", kSrecRuns,
                theirs);
    std::printf("ratio srec_cat / ConvertHexToImage: %.1f\n", theirs / ours);
    return 0;
}

// Our page image against srec_cat's binary output for the same gap-free HEX files, made from a
// fixed seed. srec_cat writes exactly the data; our image is that, padded with 0xFF to its page.
#include <gtest/gtest.h>

#include <cstdint>
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

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Record {
    unsigned address;
    Bytes data;
};

struct CrossCase {
    const char* name;
    std::size_t size;  // data bytes from address 0 on, no gaps
    std::uint32_t seed;
    std::size_t minRecord;  // data bytes per record, drawn from minRecord..maxRecord
    std::size_t maxRecord;
    bool shuffled;  // records in random order instead of rising addresses
    hexgen::HexStyle style;
};

void PrintTo(const CrossCase& c, std::ostream* os) { *os << c.name; }

// mt19937's raw output is the same everywhere; the library's distributions need not be.
std::size_t Draw(std::mt19937& random, std::size_t low, std::size_t high) { return low + random() % (high - low + 1); }

// Records cut at random lengths; a record may start no later than 0xFFFF, so the bytes from
// there on go into one last record that runs past it.
std::vector<Record> MakeRecords(const CrossCase& c, std::mt19937& random) {
    Bytes data(c.size);
    for (auto& b : data) b = static_cast<std::uint8_t>(random() & 0xFF);
    const std::size_t cut = std::min<std::size_t>(c.size, 0xFFFF);
    std::vector<Record> records;
    for (std::size_t at = 0; at < c.size;) {
        const std::size_t n = at < cut ? std::min(Draw(random, c.minRecord, c.maxRecord), cut - at) : c.size - at;
        records.push_back({static_cast<unsigned>(at), Bytes(data.begin() + at, data.begin() + at + n)});
        at += n;
    }
    if (c.shuffled) {
        for (std::size_t i = records.size(); i > 1; --i) std::swap(records[i - 1], records[Draw(random, 0, i - 1)]);
    }
    return records;
}

std::string HexText(const std::vector<Record>& records, const hexgen::HexStyle& style) {
    std::string text;
    for (const Record& r : records) hexgen::AppendData(text, r.address, r.data, style);
    hexgen::AppendEnd(text, style);
    return text;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class SrecCatCrossCheck : public testing::TestWithParam<CrossCase> {};

TEST_P(SrecCatCrossCheck, ImageMatchesSrecCatBinaryPaddedToThePage) {
    const fs::path srecCat = TLYN_SREC_CAT;
    ASSERT_TRUE(fs::is_regular_file(srecCat))
        << "srec_cat not found (" << srecCat << "); install the Debian package srecord";

    const CrossCase& c = GetParam();
    std::mt19937 random(c.seed);
    const std::string text = HexText(MakeRecords(c, random), c.style);

    const fs::path dir = fs::path(TLYN_CROSSCHECK_DIR) / c.name;
    fs::create_directories(dir);
    const fs::path hex = dir / "in.hex", bin = dir / "out.bin", log = dir / "srec_cat.log";
    std::ofstream(hex, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    fs::remove(bin);
    const std::string command =
        Quoted(srecCat) + " " + Quoted(hex) + " -intel -o " + Quoted(bin) + " -binary 2>" + Quoted(log);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Bytes reference = ReadBytes(bin);
    ASSERT_EQ(reference.size(), c.size) << "srec_cat output of " << hex;

    const firmware::HexConversion ours = firmware::ConvertHexToImage(text);
    ASSERT_EQ(ours.status, firmware::HexStatus::Ok);
    Bytes expected = reference;
    expected.resize((c.size + 255) / 256 * 256, 0xFF);
    ASSERT_EQ(ours.image.size(), expected.size());
    EXPECT_TRUE(ours.image == expected) << "images differ for " << hex;
    if (!HasFailure()) fs::remove_all(dir);
}

constexpr hexgen::HexStyle kLf{"\n", false};
constexpr hexgen::HexStyle kCrLf{"\r\n", false};
constexpr hexgen::HexStyle kLowerCrLf{"\r\n", true};

const CrossCase kCases[] = {
    {"OneByte", 1, 1, 1, 93, false, kLf},
    {"JustUnderOnePage", 255, 2, 1, 93, false, kLf},
    {"ExactlyOnePage", 256, 3, 1, 93, false, kCrLf},
    {"OneByteIntoPageTwo", 257, 4, 1, 93, false, kLf},
    {"OneByteRecords", 700, 5, 1, 1, false, kLf},
    {"LongestRecords", 5000, 6, 93, 93, false, kCrLf},
    {"SixteenPages", 4096, 7, 1, 93, false, kLowerCrLf},
    {"OddSizeShuffled", 12345, 8, 1, 93, true, kLf},
    {"AllOf64K", 0x10000, 9, 1, 93, false, kLf},
    {"AllOf64KShuffledLowerCase", 0x10000, 10, 1, 93, true, kLowerCrLf},
    {"LargestImagePastFFFF", 0xFFFF + 93, 11, 1, 93, false, kCrLf},
    {"LargestImagePastFFFFShuffled", 0xFFFF + 93, 12, 1, 93, true, kLf},
};
INSTANTIATE_TEST_SUITE_P(GapFree, SrecCatCrossCheck, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

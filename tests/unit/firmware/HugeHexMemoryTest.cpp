// A firmware file of hundreds of megabytes, made on the fly by a generating source and never
// written anywhere: the conversion takes it line by line and allocates nothing, whatever its size.
// Every allocation of this program is counted, so one made while converting shows.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "firmware/HexImage.h"
#include "tests/support/HexWriter.h"

namespace {

std::atomic<std::size_t> g_allocations{0};
std::atomic<std::size_t> g_allocatedBytes{0};

}  // namespace

void* operator new(std::size_t size) {
    g_allocations += 1;
    g_allocatedBytes += size;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Repeats one block of records (4 KiB of data at 0x0000) until `total` bytes have been served,
// then serves the end-of-file record. Any read after that fails.
class GeneratedHex : public firmware::ByteSource {
public:
    explicit GeneratedHex(std::size_t total) : total_(total) {
        std::vector<std::uint8_t> data(4096);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
        hexgen::AppendBlock(block_, 0x0000, data, 16);
        expected_ = data;
    }

    bool Read(std::span<char> buffer, std::size_t& got) override {
        got = 0;
        if (served_ >= total_) {
            if (endAt_ == end_.size()) {
                readsAfterEnd_ += 1;
                return false;
            }
            got = std::min(buffer.size(), end_.size() - endAt_);
            std::memcpy(buffer.data(), end_.data() + endAt_, got);
            endAt_ += got;
            return true;
        }
        const std::size_t at = served_ % block_.size();
        got = std::min(buffer.size(), block_.size() - at);
        std::memcpy(buffer.data(), block_.data() + at, got);
        served_ += got;
        return true;
    }

    std::size_t Served() const { return served_ + endAt_; }
    int ReadsAfterEnd() const { return readsAfterEnd_; }
    const std::vector<std::uint8_t>& Expected() const { return expected_; }

private:
    std::string block_;
    const std::string end_ = ":00000001FF\n";
    std::vector<std::uint8_t> expected_;
    std::size_t total_;
    std::size_t served_ = 0;
    std::size_t endAt_ = 0;
    int readsAfterEnd_ = 0;
};

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(HugeHexFile, ConvertsInBoundedMemory) {
    // Whole blocks of records, so the served text ends at a line end.
    const std::size_t blockSize = [] {
        std::string block;
        hexgen::AppendBlock(block, 0x0000, std::vector<std::uint8_t>(4096), 16);
        return block.size();
    }();
    constexpr std::size_t kTarget = 300u << 20;
    GeneratedHex huge(kTarget / blockSize * blockSize);
    auto image = std::make_unique<firmware::PageImage>();

    const long residentBefore = PeakResidentKiB();
    const std::size_t allocationsBefore = g_allocations;
    const std::size_t bytesBefore = g_allocatedBytes;
    const firmware::HexStatus status = firmware::ConvertHexToImage(huge, *image);
    const std::size_t allocations = g_allocations - allocationsBefore;
    const std::size_t bytes = g_allocatedBytes - bytesBefore;
    const long residentAfter = PeakResidentKiB();

    ASSERT_EQ(status, firmware::HexStatus::Ok);
    EXPECT_GT(huge.Served(), std::size_t{250} << 20);
    EXPECT_EQ(huge.ReadsAfterEnd(), 0);
    EXPECT_EQ(allocations, 0u) << bytes << " bytes allocated while converting";
    EXPECT_LT(residentAfter - residentBefore, 1024) << "peak resident set grew by KiB";
    ASSERT_EQ(image->size, 16u * 256u);
    EXPECT_TRUE(std::equal(huge.Expected().begin(), huge.Expected().end(), image->bytes.begin()));
    RecordProperty("served_bytes", std::to_string(huge.Served()));
    RecordProperty("peak_resident_kib", std::to_string(residentAfter));
    std::printf("converted %zu bytes; allocations %zu; peak resident set %ld KiB (before %ld KiB)\n", huge.Served(),
                allocations, residentAfter, residentBefore);
}

}  // namespace

// The boot loader conversation against a device whose bytes and timing the fuzzer chooses, on a
// virtual clock: every run must end as that device called for, acknowledge pages in order, never
// wait past its windows and never read past what it may (see tests/unit/update/ConversationModel.h).
//
// The input, read front to back (bytes past its end read as 0):
//   image    bits 0-2 whole pages (0 to 7); bit 3 the image does not open; bit 4 one page can't be
//            read, the next byte says which; bit 5 the image claims 65536 pages
//   page     the page that can't be read
//   origin   4 bytes, little-endian: the tick counter when the conversation starts
//   then, until the input ends, replies of the device, each:
//   kind     bits 0-1: 0 sent from the start, 1 an answer to the greeting, 2 or 3 the answer to the
//            next frame; bit 7: the reply ends in a read that fails
//   afterMs  2 bytes, little-endian: after the start, the greeting or the frame
//   length   1 byte (0 to 63 taken), then that many byte values
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/fuzz/FuzzRule.h"
#include "tests/unit/update/ConversationModel.h"
#include "tests/unit/update/ScriptedDevice.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    unsigned Byte() { return at_ < size_ ? data_[at_++] : 0u; }
    unsigned Word() { return Byte() | (Byte() << 8); }
    std::uint32_t Long() { return Word() | (static_cast<std::uint32_t>(Word()) << 16); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

scripted::ImageSetup ImageFrom(Input& in) {
    const unsigned bits = in.Byte();
    const unsigned unreadable = in.Byte();
    scripted::ImageSetup image;
    const unsigned pages = bits & 0x07;
    image.image.resize(pages * 256u);
    for (std::size_t i = 0; i < image.image.size(); ++i)
        image.image[i] = static_cast<std::uint8_t>(i * 7 + i / 256 * 31);
    image.opens = (bits & 0x08) == 0;
    if ((bits & 0x10) != 0) image.failingPage = unreadable % 8;
    if ((bits & 0x20) != 0) image.pageCount = 0x10000u;
    return image;
}

scripted::DeviceScript DeviceFrom(Input& in) {
    scripted::DeviceScript device;
    while (!in.Done()) {
        const unsigned kind = in.Byte();
        scripted::Reply reply{in.Word(), {}};
        for (unsigned n = in.Byte() % 64; n > 0; --n) reply.bytes.push_back(static_cast<int>(in.Byte()));
        if ((kind & 0x80) != 0) reply.bytes.push_back(scripted::kFailedRead);
        switch (kind & 0x03) {
            case 0: device.early.push_back(reply); break;
            case 1: device.toGreeting.push_back(reply); break;
            default: device.toFrames.push_back(reply);
        }
    }
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    scripted::ImageSetup image = ImageFrom(in);
    const std::uint32_t origin = in.Long();
    scripted::DeviceScript device = DeviceFrom(in);

    scripted::RecordedRun run(origin, std::move(device), std::move(image));
    run.Run();
    const std::string problem = run.Problem();
    if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
    fuzzrule::Require(problem.empty(), "the run kept the rules of the exchange");
    return 0;
}

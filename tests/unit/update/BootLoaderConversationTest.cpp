// The boot loader conversation against a scripted device on a virtual clock.
#include "update/BootLoaderConversation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/update/ScriptedDevice.h"

namespace {

using scripted::Bytes;
using scripted::DeviceScript;
using scripted::ImageSetup;
using scripted::Reply;
using update::TransferOutcome;

// Close enough to the counter's wrap that every window of a transfer straddles it.
constexpr std::uint32_t kOrigin = 0xFFFFFA00u;
constexpr int kFailedRead = scripted::kFailedRead;

const std::string kGreeting = "&%*-GX-REM2-001-2.32";
const std::string kGoodAnswer = "GX-REM2-2.32\r!";

// Every page different, and no page the same as its neighbour shifted.
std::vector<std::uint8_t> PatternImage(unsigned pages) {
    std::vector<std::uint8_t> image(pages * 256u);
    for (unsigned k = 0; k < pages; ++k) {
        for (unsigned i = 0; i < 256; ++i)
            image[k * 256 + i] = static_cast<std::uint8_t>(k * 31 + i * 7 + (k >> 8) * 3);
    }
    return image;
}

std::uint8_t SumOf(const std::uint8_t* bytes) {
    unsigned sum = 0;
    for (int i = 0; i < 256; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum % 256);
}

DeviceScript GoodDevice() { return DeviceScript{{}, {{100, Bytes(kGoodAnswer)}}, {}}; }

struct Session {
    Session(DeviceScript script, ImageSetup setup)
        : port(clock, trace, std::move(script)), host(clock, trace, std::move(setup)) {}

    TransferOutcome Run() { return update::TransferPages(port, host); }

    // End of the last pause, when the version window or a page's reply window starts.
    std::uint32_t LastPauseEnd() const {
        std::uint32_t end = 0;
        for (const scripted::Event& e : trace.events) {
            if (e.what.rfind("delay ", 0) == 0) end = e.at + static_cast<std::uint32_t>(std::stoul(e.what.substr(6)));
        }
        return end;
    }
    std::uint32_t VersionAccepted() const {
        for (const scripted::Event& e : trace.events) {
            if (e.what.rfind("version ", 0) == 0) return e.at;
        }
        ADD_FAILURE() << "no version line accepted";
        return 0;
    }
    // Frames on the wire after the greeting; what is left over is the tail (end marker, if any).
    std::size_t FramesSent() const { return (port.Wire().size() - kGreeting.size()) / 259; }
    std::vector<std::uint8_t> Tail() const {
        const std::size_t start = kGreeting.size() + FramesSent() * 259;
        return std::vector<std::uint8_t>(port.Wire().begin() + static_cast<std::ptrdiff_t>(start), port.Wire().end());
    }
    const std::uint8_t* Frame(std::size_t i) const { return port.Wire().data() + kGreeting.size() + i * 259; }

    scripted::VirtualClock clock{kOrigin};
    scripted::Trace trace;
    scripted::Port port;
    scripted::Host host;
};

// --- the bytes on the wire --------------------------------------------------------------------

TEST(TransferWire, OnePageGoesOutInOrderWithEveryPause) {
    Session s(GoodDevice(), {PatternImage(1)});
    ASSERT_EQ(s.Run(), TransferOutcome::Success);

    const std::vector<std::string> expected = {
        "delay 100", "purge",        "write 20", "delay 20", "version GX-REM2-2.32",
        "open",      "progress 1/1", "read 0",   "write 1",  "write 1",
        "delay 20",  "write 256",    "delay 10", "write 1",  "delay 20",
        "write 1",   "write 1",      "delay 20", "close"};
    EXPECT_EQ(s.trace.Names(), expected);

    std::vector<std::uint8_t> wire(kGreeting.begin(), kGreeting.end());
    wire.push_back(0x00);
    wire.push_back(0x00);
    const std::vector<std::uint8_t> page = PatternImage(1);
    wire.insert(wire.end(), page.begin(), page.end());
    wire.push_back(SumOf(page.data()));
    wire.push_back(0xFF);
    wire.push_back(0xFF);
    EXPECT_EQ(s.port.Wire(), wire);
    EXPECT_EQ(s.host.Versions(), std::vector<std::string>{"GX-REM2-2.32"});
}

struct LongImageCase {
    const char* behaviour;
    unsigned pages;
    std::uint8_t lastHigh, lastLow;
};
void PrintTo(const LongImageCase& c, std::ostream* os) { *os << c.behaviour; }

class TransferWireLong : public testing::TestWithParam<LongImageCase> {};

TEST_P(TransferWireLong, EveryPageFramedHighByteFirstThenTheEndMarker) {
    const LongImageCase& c = GetParam();
    const std::vector<std::uint8_t> image = PatternImage(c.pages);
    Session s(GoodDevice(), {image});
    ASSERT_EQ(s.Run(), TransferOutcome::Success);

    ASSERT_EQ(s.FramesSent(), c.pages);
    for (unsigned k = 0; k < c.pages; ++k) {
        const std::uint8_t* frame = s.Frame(k);
        ASSERT_EQ(frame[0], k >> 8) << "page " << k;
        ASSERT_EQ(frame[1], k & 0xFF) << "page " << k;
        ASSERT_TRUE(std::equal(frame + 2, frame + 258, image.begin() + k * 256)) << "page " << k;
        ASSERT_EQ(frame[258], SumOf(image.data() + k * 256)) << "page " << k;
    }
    EXPECT_EQ(s.Frame(5)[0], 0x00);
    EXPECT_EQ(s.Frame(5)[1], 0x05);
    EXPECT_EQ(s.Frame(c.pages - 1)[0], c.lastHigh);
    EXPECT_EQ(s.Frame(c.pages - 1)[1], c.lastLow);
    EXPECT_EQ(s.Tail(), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    ASSERT_FALSE(s.host.Progress().empty());
    EXPECT_EQ(s.host.Progress().back(), std::make_pair(c.pages, c.pages));
}

INSTANTIATE_TEST_SUITE_P(Images, TransferWireLong,
                         testing::Values(LongImageCase{"a 64 KiB image ends with page 0x00FF", 256, 0x00, 0xFF},
                                         LongImageCase{"the longest image ends with page 0x0100", 257, 0x01, 0x00}),
                         [](const auto& info) { return "Pages" + std::to_string(info.param.pages); });

struct ChecksumCase {
    const char* name;
    std::vector<std::uint8_t> page;
    std::uint8_t checksum;
};
void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.name; }

class PageChecksum : public testing::TestWithParam<ChecksumCase> {};

TEST_P(PageChecksum, IsTheSumOfTheDataModulo256NotNegated) {
    Session s(GoodDevice(), {GetParam().page});
    ASSERT_EQ(s.Run(), TransferOutcome::Success);
    ASSERT_EQ(s.FramesSent(), 1u);
    EXPECT_EQ(s.Frame(0)[258], GetParam().checksum);
}

std::vector<std::uint8_t> OneThenZeros() {
    std::vector<std::uint8_t> page(256, 0x00);
    page[0] = 0x01;
    return page;
}
std::vector<std::uint8_t> Ascending() {
    std::vector<std::uint8_t> page(256);
    for (int i = 0; i < 256; ++i) page[i] = static_cast<std::uint8_t>(i);
    return page;
}

INSTANTIATE_TEST_SUITE_P(Pages, PageChecksum,
                         testing::Values(ChecksumCase{"AllErased", std::vector<std::uint8_t>(256, 0xFF), 0x00},
                                         ChecksumCase{"OneThenZeros", OneThenZeros(), 0x01},
                                         ChecksumCase{"AscendingBytes", Ascending(), 0x80}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- what the device may do wrong, and when the program gives up -------------------------------

enum class Anchor { LastPauseEnd, VersionAccepted };

struct FailureCase {
    const char* behaviour;
    DeviceScript device;
    ImageSetup image;
    TransferOutcome outcome;
    Anchor anchor;
    std::uint32_t fromMs, toMs;  // when the outcome is decided, after the anchor
    std::size_t frames;          // frames sent before giving up
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.behaviour; }

DeviceScript Answering(std::vector<Reply> toGreeting, std::vector<Reply> toFrames = {}) {
    return DeviceScript{{}, std::move(toGreeting), std::move(toFrames)};
}
std::vector<Reply> Join(std::vector<Reply> a, const std::vector<Reply>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<Reply> Refusals(int n) { return std::vector<Reply>(static_cast<std::size_t>(n), Reply{1, {0x40}}); }

// The greeting ends at a pause's start; 100 ms after the greeting is 80 ms into the version window,
// seen first by the poll whose Now() read 79.
// One row a case reads better than one field a line.
// clang-format off
const std::vector<FailureCase> kFailures = {
    {"silence after the greeting", Answering({}), {PatternImage(1)},
     TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 0},
    {"part of the line then silence", Answering({{100, Bytes("GX-REM2")}}), {PatternImage(1)},
     TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 0},
    {"trickling bytes do not extend the window",
     Answering(scripted::Trickle("GX-REM2-2.3", 100, 280)), {PatternImage(1)},
     TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 0},
    {"carriage return just after the window", Answering({{100, Bytes("GX-REM2-2.32")}, {3025, Bytes("\r!")}}),
     {PatternImage(1)}, TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 0},
    {"another version", Answering({{100, Bytes("GX-REM2-2.31\r!")}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"version in lower case", Answering({{100, Bytes("gx-rem2-2.32\r!")}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"version less its last character", Answering({{100, Bytes("GX-REM2-2.3\r!")}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"version with one more character", Answering({{100, Bytes("GX-REM2-2.320\r!")}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"a line too long fails at once, carriage return or not",
     Answering({{100, Bytes(std::string(200, 'G'))}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"an empty line", Answering({{100, Bytes("\r!")}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"a failed read inside the line", Answering({{100, {'G', 'X', kFailedRead, '-', 'R'}}}), {PatternImage(1)},
     TransferOutcome::InvalidVersion, Anchor::LastPauseEnd, 79, 100, 0},
    {"version line but no ready byte", Answering({{100, Bytes("GX-REM2-2.32\r")}}), {PatternImage(1)},
     TransferOutcome::NoReadyResponse, Anchor::VersionAccepted, 2000, 2002, 0},
    {"ready byte just after its window", Answering({{100, Bytes("GX-REM2-2.32\r")}, {2130, Bytes("!")}}),
     {PatternImage(1)}, TransferOutcome::NoReadyResponse, Anchor::VersionAccepted, 2000, 2002, 0},
    {"line feed after the carriage return", Answering({{100, Bytes("GX-REM2-2.32\r\n!")}}), {PatternImage(1)},
     TransferOutcome::InvalidReadyResponse, Anchor::VersionAccepted, 0, 3, 0},
    {"another ready byte", Answering({{100, Bytes("GX-REM2-2.32\r?")}}), {PatternImage(1)},
     TransferOutcome::InvalidReadyResponse, Anchor::VersionAccepted, 0, 3, 0},
    {"a failed read of the ready byte", Answering({{100, {'G', 'X', '-', 'R', 'E', 'M', '2', '-', '2', '.', '3', '2',
                                                          '\r', kFailedRead}}}),
     {PatternImage(1)}, TransferOutcome::InvalidReadyResponse, Anchor::VersionAccepted, 0, 3, 0},
    {"the image does not open", GoodDevice(), {PatternImage(1), false},
     TransferOutcome::ImageNotOpened, Anchor::VersionAccepted, 0, 3, 0},
    {"an image without a whole page", GoodDevice(), {{}, true, 0u},
     TransferOutcome::ImageNotOpened, Anchor::VersionAccepted, 0, 3, 0},
    {"more pages than page numbers can tell from the end marker", GoodDevice(), {PatternImage(1), true, 0x10000u},
     TransferOutcome::ImageNotOpened, Anchor::VersionAccepted, 0, 3, 0},
    {"a page that cannot be read", GoodDevice(), {PatternImage(2), true, std::nullopt, 1u},
     TransferOutcome::ImageNotRead, Anchor::LastPauseEnd, 0, 3, 1},
    {"the first page cannot be read", GoodDevice(), {PatternImage(2), true, std::nullopt, 0u},
     TransferOutcome::ImageNotRead, Anchor::VersionAccepted, 0, 3, 0},
    {"no reply to a page", Answering({{100, Bytes(kGoodAnswer)}}, {{0, {}}}), {PatternImage(1)},
     TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 1},
    {"a reply slower than the window", Answering({{100, Bytes(kGoodAnswer)}}, {{3500, {'!'}}}), {PatternImage(2)},
     TransferOutcome::NoResponse, Anchor::LastPauseEnd, 3000, 3002, 1},
    {"another reply byte to the second page", Answering({{100, Bytes(kGoodAnswer)}}, {{1, {'!'}}, {1, {'X'}}}),
     {PatternImage(3)}, TransferOutcome::InvalidReadyResponse, Anchor::LastPauseEnd, 0, 3, 2},
    {"a failed read of a page's reply", Answering({{100, Bytes(kGoodAnswer)}}, {{1, {kFailedRead}}}),
     {PatternImage(1)}, TransferOutcome::InvalidReadyResponse, Anchor::LastPauseEnd, 0, 3, 1},
    {"a fifth refusal in a row", Answering({{100, Bytes(kGoodAnswer)}}, Refusals(5)), {PatternImage(1)},
     TransferOutcome::InvalidReadyResponse, Anchor::LastPauseEnd, 0, 3, 5},
};
// clang-format on

class TransferFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(TransferFailure, EndsWithItsOutcomeAtItsTimeAndLeavesNothingOpen) {
    const FailureCase& c = GetParam();
    Session s(c.device, c.image);
    ASSERT_EQ(s.Run(), c.outcome);

    const std::uint32_t anchor = c.anchor == Anchor::LastPauseEnd ? s.LastPauseEnd() : s.VersionAccepted();
    const std::uint32_t decidedAfter = s.host.LastNow() - anchor;
    EXPECT_GE(decidedAfter, c.fromMs);
    EXPECT_LE(decidedAfter, c.toMs);

    EXPECT_EQ(s.FramesSent(), c.frames);
    EXPECT_TRUE(s.Tail().empty()) << "no end marker after a failure";
    EXPECT_FALSE(s.host.ImageOpen());
    EXPECT_EQ(s.host.Closed(), s.host.Opened());
    EXPECT_EQ(s.host.ClosedWithoutOpen(), 0);
}

INSTANTIATE_TEST_SUITE_P(Device, TransferFailure, testing::ValuesIn(kFailures), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.behaviour; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

// --- windows that must not close too early --------------------------------------------------------

struct InTimeCase {
    const char* behaviour;
    DeviceScript device;
};
void PrintTo(const InTimeCase& c, std::ostream* os) { *os << c.behaviour; }

class TransferInTime : public testing::TestWithParam<InTimeCase> {};

TEST_P(TransferInTime, Succeeds) {
    Session s(GetParam().device, {PatternImage(1)});
    EXPECT_EQ(s.Run(), TransferOutcome::Success);
    EXPECT_EQ(s.host.Versions(), std::vector<std::string>{"GX-REM2-2.32"});
}

INSTANTIATE_TEST_SUITE_P(Device, TransferInTime,
                         testing::Values(InTimeCase{"TrickledLineWithinTheWindow",
                                                    Answering(Join(scripted::Trickle("GX-REM2-2.32\r", 100, 230),
                                                                   {{3000, Bytes("!")}}))},
                                         InTimeCase{"CarriageReturnJustInsideTheWindow",
                                                    Answering({{100, Bytes("GX-REM2-2.32")}, {3005, Bytes("\r!")}})},
                                         InTimeCase{"ReadyByteJustInsideItsWindow",
                                                    Answering({{100, Bytes("GX-REM2-2.32\r")}, {2090, Bytes("!")}})},
                                         InTimeCase{"PageReplyJustInsideItsWindow",
                                                    Answering({{100, Bytes(kGoodAnswer)}}, {{3010, {'!'}}})}),
                         [](const auto& info) { return std::string(info.param.behaviour); });

// The device's chatter before the greeting, a presence byte and a whole good answer among it,
// is purged: taken for the version line it would make this silent device look good.
TEST(TransferGreeting, BytesQueuedBeforeTheGreetingArePurged) {
    DeviceScript device{{{0, {0xD0, 0x00}}, {40, Bytes(kGoodAnswer)}, {90, Bytes(kGoodAnswer)}}, {}, {}};
    Session s(device, {PatternImage(1)});
    EXPECT_EQ(s.Run(), TransferOutcome::NoResponse);
    EXPECT_TRUE(s.host.Versions().empty());
}

// --- refused pages --------------------------------------------------------------------------------

struct RefusalCase {
    const char* behaviour;
    unsigned pages;
    std::vector<Reply> replies;
    TransferOutcome outcome;
    std::vector<std::pair<unsigned, unsigned>> progress;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.behaviour; }

std::vector<std::pair<unsigned, unsigned>> Shown(std::initializer_list<unsigned> pages, unsigned count) {
    std::vector<std::pair<unsigned, unsigned>> shown;
    for (unsigned p : pages) shown.emplace_back(p, count);
    return shown;
}

class TransferRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(TransferRefusal, ResendsTheSamePageInFullWithItsProgressShownAgain) {
    const RefusalCase& c = GetParam();
    const std::vector<std::uint8_t> image = PatternImage(c.pages);
    Session s(Answering({{100, Bytes(kGoodAnswer)}}, c.replies), {image});
    ASSERT_EQ(s.Run(), c.outcome);

    EXPECT_EQ(s.host.Progress(), c.progress);
    ASSERT_EQ(s.FramesSent(), c.progress.size());
    for (std::size_t i = 0; i < s.FramesSent(); ++i) {
        const unsigned k = c.progress[i].first - 1;
        const std::uint8_t* frame = s.Frame(i);
        EXPECT_EQ(frame[0] * 256 + frame[1], static_cast<int>(k)) << "send " << i;
        EXPECT_TRUE(std::equal(frame + 2, frame + 258, image.begin() + k * 256)) << "send " << i;
        EXPECT_EQ(frame[258], SumOf(image.data() + k * 256)) << "send " << i;
    }
    const std::vector<std::uint8_t> endMarker = {0xFF, 0xFF};
    EXPECT_EQ(s.Tail(), c.outcome == TransferOutcome::Success ? endMarker : std::vector<std::uint8_t>());
}

INSTANTIATE_TEST_SUITE_P(
    Device, TransferRefusal,
    testing::Values(RefusalCase{"FourRefusalsThenTaken", 1, Join(Refusals(4), {{1, {'!'}}}), TransferOutcome::Success,
                                Shown({1, 1, 1, 1, 1}, 1)},
                    RefusalCase{"FifthRefusalFails", 1, Refusals(5), TransferOutcome::InvalidReadyResponse,
                                Shown({1, 1, 1, 1, 1}, 1)},
                    RefusalCase{"TakenPageRestartsTheCount", 2,
                                Join(Join(Refusals(4), {{1, {'!'}}}), Join(Refusals(4), {{1, {'!'}}})),
                                TransferOutcome::Success, Shown({1, 1, 1, 1, 1, 2, 2, 2, 2, 2}, 2)},
                    RefusalCase{"CountIsPerPageNotPerTransfer", 3,
                                Join(Join(Refusals(3), {{1, {'!'}}}), Join(Refusals(5), {})),
                                TransferOutcome::InvalidReadyResponse, Shown({1, 1, 1, 1, 2, 2, 2, 2, 2}, 3)}),
    [](const auto& info) { return std::string(info.param.behaviour); });

// --- finding the boot loader ---------------------------------------------------------------------

struct DetectionCase {
    const char* behaviour;
    std::vector<int> queued;
    bool found;
    std::vector<int> left;  // still queued after the tick
};
void PrintTo(const DetectionCase& c, std::ostream* os) { *os << c.behaviour; }

class Detection : public testing::TestWithParam<DetectionCase> {};

TEST_P(Detection, DropsBytesUntilThePresenceByteAndSendsOneAttentionByte) {
    const DetectionCase& c = GetParam();
    scripted::VirtualClock clock{kOrigin};
    scripted::Trace trace;
    scripted::Port port(clock, trace, {});
    port.Queue(c.queued);

    EXPECT_EQ(update::PollForBootLoader(port), c.found);
    EXPECT_EQ(port.Queued(), c.left);
    EXPECT_EQ(port.Wire(), std::vector<std::uint8_t>{0xC0});
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, Detection,
    testing::Values(DetectionCase{"NothingQueued", {}, false, {}},
                    DetectionCase{"OtherBytesDropped", {0x00, 0xC0, 0x21, 0xFF, 0x40}, false, {}},
                    DetectionCase{"PresenceAfterNoiseFoundInOneTick", {0x11, 0x13, 0x0D, 0xD0}, true, {}},
                    DetectionCase{"BytesAfterPresenceStayQueued", {0x55, 0xD0, 0x21, 0xD0}, true, {0x21, 0xD0}},
                    DetectionCase{"FailedReadStopsTheTick", {0x55, kFailedRead, 0xD0}, false, {0xD0}}),
    [](const auto& info) { return std::string(info.param.behaviour); });

TEST(DetectionTicks, EachTickSendsOneAttentionByteUpToTheFindingOne) {
    scripted::VirtualClock clock{kOrigin};
    scripted::Trace trace;
    scripted::Port port(clock, trace, {});

    EXPECT_FALSE(update::PollForBootLoader(port));
    port.Queue({0x33});
    EXPECT_FALSE(update::PollForBootLoader(port));
    port.Queue({0x33, 0xD0});
    EXPECT_TRUE(update::PollForBootLoader(port));
    EXPECT_EQ(port.Wire(), (std::vector<std::uint8_t>{0xC0, 0xC0, 0xC0}));
}

}  // namespace

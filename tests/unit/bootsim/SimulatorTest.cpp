// The boot loader stand-in, driven from the program's end of its line.
#include "tools/bootsim/Simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/bootsim/PtyLine.h"
#include "tools/bootsim/Cable.h"
#include "tools/bootsim/LineSettings.h"
#include "update/BootLoaderConversation.h"

namespace {

using namespace std::chrono_literals;
using bootsim::LineEvent;
using bootsim::Misbehaviour;

const std::string kGreeting = "&%*-GX-REM2-001-2.32";
const std::string kPresence = "\xD0";
const std::string kAttention = "\xC0";
constexpr auto kSoon = 2000ms;  // for what must happen
constexpr auto kQuiet = 300ms;  // for what must not

// The pauses the program keeps around a frame, each ending on time. After the checksum a program
// also reads the answer and fetches its next page: a millisecond beyond the pause.
struct Pacing {
    std::chrono::milliseconds afterNumber = 20ms;
    std::chrono::milliseconds afterData = 10ms;
    std::chrono::milliseconds afterChecksum = 21ms;
    unsigned answersToRead = 1;  // before the pause after the checksum is over
};

// Asleep for most of it, so the kernel's worker can hand the bytes just written to the device's
// reader; awake for the last millisecond, so the pause ends on time.
void HoldUntil(std::chrono::steady_clock::time_point end) {
    std::this_thread::sleep_until(end - 1ms);
    while (std::chrono::steady_clock::now() < end) std::this_thread::yield();
}

std::vector<std::uint8_t> PatternImage(unsigned pages) {
    std::vector<std::uint8_t> image(pages * 256u);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256 * 13);
    return image;
}

std::string FrameOf(unsigned page, const std::vector<std::uint8_t>& image, int checksumDelta = 0) {
    std::string frame;
    frame += static_cast<char>(page >> 8);
    frame += static_cast<char>(page & 0xFF);
    unsigned sum = 0;
    for (unsigned i = 0; i < 256; ++i) {
        const std::uint8_t b = image[page * 256 + i];
        frame += static_cast<char>(b);
        sum += b;
    }
    frame += static_cast<char>((sum + static_cast<unsigned>(checksumDelta)) & 0xFF);
    return frame;
}

// A private directory for the link, removed with what is left in it.
class LinkDir {
public:
    LinkDir() {
        std::string pattern = testing::TempDir() + "bootsim-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~LinkDir() {
        if (path_.empty()) return;
        unlink(Link().c_str());
        rmdir(path_.c_str());
    }
    std::string Link() const { return path_ + "/com5"; }

private:
    std::string path_;
};

class SimulatorTest : public testing::Test {
protected:
    void StartDevice(bootsim::Options options = {}) {
        sim_ = std::make_unique<bootsim::Simulator>(options);
        ASSERT_TRUE(sim_->Start(dir_.Link()));
        ASSERT_TRUE(line_.Open(dir_.Link()));
    }
    // Attention bytes until the presence byte, then the finding tick's own, the settling pause and
    // the greeting.
    void Greet(std::chrono::milliseconds settle = 100ms, unsigned attentionsAfterPresence = 1) {
        ASSERT_TRUE(line_.WriteText(kAttention + kAttention));
        ASSERT_EQ(line_.ReadFor(1, kSoon), kPresence);
        for (unsigned i = 0; i < attentionsAfterPresence; ++i) ASSERT_TRUE(line_.WriteText(kAttention));
        std::this_thread::sleep_for(settle);
        ASSERT_TRUE(line_.WriteText(kGreeting));
    }
    // One frame in the program's four writes with its pauses between them; the answers read while
    // the pause after the checksum runs, and returned.
    std::string Exchange(unsigned page, const std::vector<std::uint8_t>& image, int checksumDelta = 0,
                         Pacing pacing = {}) {
        const std::string frame = FrameOf(page, image, checksumDelta);
        line_.WriteText(frame.substr(0, 1));
        line_.WriteText(frame.substr(1, 1));
        HoldUntil(std::chrono::steady_clock::now() + pacing.afterNumber);
        line_.WriteText(frame.substr(2, 256));
        HoldUntil(std::chrono::steady_clock::now() + pacing.afterData);
        line_.WriteText(frame.substr(258));
        const auto checksumSent = std::chrono::steady_clock::now();
        const std::string answers = pacing.answersToRead > 0 ? line_.ReadFor(pacing.answersToRead, kSoon) : "";
        HoldUntil(checksumSent + pacing.afterChecksum);
        return answers;
    }
    void GreetAndAccept() {
        Greet();
        ASSERT_EQ(line_.ReadFor(14, kSoon), "GX-REM2-2.32\r!");
    }

    LinkDir dir_;
    std::unique_ptr<bootsim::Simulator> sim_;
    ptyline::Port line_;
};

TEST_F(SimulatorTest, PlaysAWholeUpdateAndKeepsTheImage) {
    bootsim::Options options;
    options.attentionsBeforePresence = 3;
    StartDevice(options);
    ASSERT_TRUE(sim_->WaitForLineOpened(kSoon));

    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "") << "one attention byte is not yet the user pressing reset";
    GreetAndAccept();

    const std::vector<std::uint8_t> image = PatternImage(2);
    for (unsigned k = 0; k < 2; ++k) ASSERT_EQ(Exchange(k, image), "!") << "page " << k;
    ASSERT_TRUE(line_.WriteText("\xFF\xFF"));
    ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));

    EXPECT_EQ(sim_->LastImage(), image);
    EXPECT_EQ(sim_->AttentionBytes(), 4u) << "the early one, two to answer and the finding tick's";
    EXPECT_EQ(sim_->PresenceBytesSent(), 1u);
    EXPECT_EQ(sim_->GreetingsOk(), 1u);
    const std::vector<bootsim::Frame> frames = sim_->Frames();
    ASSERT_EQ(frames.size(), 2u);
    for (unsigned k = 0; k < 2; ++k) {
        EXPECT_EQ(frames[k].page, k);
        EXPECT_TRUE(frames[k].checksumOk);
        EXPECT_TRUE(frames[k].inOrder);
        EXPECT_EQ(frames[k].reply, '!');
    }
    EXPECT_EQ(sim_->ProtocolErrors(), std::vector<std::string>{}) << "every pause kept";

    line_.Close();
    ASSERT_TRUE(sim_->WaitForLineClosed(kSoon));
    EXPECT_EQ(sim_->LineEvents(), (std::vector<LineEvent>{LineEvent::Opened, LineEvent::Closed}));
}

TEST_F(SimulatorTest, WaitsForAttentionAgainAfterAnUpdate) {
    StartDevice();
    GreetAndAccept();
    ASSERT_EQ(Exchange(0, PatternImage(1)), "!");
    ASSERT_TRUE(line_.WriteText("\xFF\xFF"));
    ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));

    GreetAndAccept();
    EXPECT_EQ(sim_->PresenceBytesSent(), 2u);
    EXPECT_EQ(sim_->GreetingsOk(), 2u);
}

// The case stands in for the user's hand: reset pressed at once answers the next attention byte,
// however many the device would otherwise wait for; a device silent to attention stays silent.
TEST_F(SimulatorTest, ResetPressedAnswersTheNextAttentionByte) {
    bootsim::Options options;
    options.attentionsBeforePresence = 1000;
    StartDevice(options);
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    sim_->PressReset();
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kSoon), kPresence);
    EXPECT_EQ(sim_->PresenceBytesSent(), 1u);

    options.misbehaviour = Misbehaviour::SilentToAttention;
    StartDevice(options);
    sim_->PressReset();
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
}

TEST_F(SimulatorTest, ClosingTheLineEndsTheUpdateAndIsSeen) {
    StartDevice();
    ASSERT_TRUE(line_.WriteText(kAttention));
    ASSERT_TRUE(sim_->WaitForAttentionBytes(1, kSoon));
    line_.Close();
    ASSERT_TRUE(sim_->WaitForLineClosed(kSoon));

    // Reopened, the device counts attention bytes from the start again.
    ASSERT_TRUE(line_.Open(dir_.Link()));
    ASSERT_TRUE(sim_->WaitForLineOpened(kSoon));
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kSoon), kPresence);
    EXPECT_EQ(sim_->LineEvents(), (std::vector<LineEvent>{LineEvent::Opened, LineEvent::Closed, LineEvent::Opened}));
}

TEST_F(SimulatorTest, BadChecksumAndPageOutOfOrderAreRefusedAndRecorded) {
    StartDevice();
    GreetAndAccept();
    const std::vector<std::uint8_t> image = PatternImage(2);
    EXPECT_EQ(Exchange(0, image, +1), "\x40");
    EXPECT_EQ(Exchange(1, image), "\x40");
    EXPECT_EQ(Exchange(0, image), "!");

    const std::vector<bootsim::Frame> frames = sim_->Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_FALSE(frames[0].checksumOk);
    EXPECT_FALSE(frames[1].inOrder);
    EXPECT_TRUE(frames[2].checksumOk && frames[2].inOrder);
    EXPECT_EQ(sim_->ProtocolErrors().size(), 2u);
}

TEST_F(SimulatorTest, ABadGreetingIsRecordedAndNotAnswered) {
    StartDevice();
    ASSERT_TRUE(line_.WriteText(kAttention + kAttention));
    ASSERT_EQ(line_.ReadFor(1, kSoon), kPresence);
    ASSERT_TRUE(line_.WriteText("&%*-GX-REM2-001-2.33"));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    EXPECT_EQ(sim_->GreetingsBad(), 1u);
    EXPECT_EQ(sim_->GreetingsOk(), 0u);
}

// --- misbehaviour around the greeting --------------------------------------------------------------

struct AnswerCase {
    const char* name;
    Misbehaviour mode;
    std::string answer;  // everything the device says after the greeting
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class SimulatorAnswer : public SimulatorTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(SimulatorAnswer, SaysExactlyThisAfterTheGreeting) {
    bootsim::Options options;
    options.misbehaviour = GetParam().mode;
    options.floodBytes = 700;
    StartDevice(options);
    Greet();
    EXPECT_EQ(line_.ReadFor(GetParam().answer.size() + 1, kQuiet + 200ms), GetParam().answer);
    EXPECT_EQ(sim_->GreetingsOk(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimulatorAnswer,
                         testing::Values(AnswerCase{"Good", Misbehaviour::None, "GX-REM2-2.32\r!"},
                                         AnswerCase{"WrongVersion", Misbehaviour::WrongVersion, "GX-REM2-2.31\r!"},
                                         AnswerCase{"LowerCase", Misbehaviour::LowerCaseVersion, "gx-rem2-2.32\r!"},
                                         AnswerCase{"Short", Misbehaviour::ShortVersion, "GX-REM2-2.3\r!"},
                                         AnswerCase{"Long", Misbehaviour::LongVersion, "GX-REM2-2.320\r!"},
                                         AnswerCase{"LineFeed", Misbehaviour::LineFeedAfterCarriageReturn,
                                                    "GX-REM2-2.32\r\n!"},
                                         AnswerCase{"NoReady", Misbehaviour::NoReadyByte, "GX-REM2-2.32\r"},
                                         AnswerCase{"SilentToGreeting", Misbehaviour::SilentToGreeting, ""},
                                         AnswerCase{"Flood", Misbehaviour::FloodAfterGreeting, std::string(700, 'U')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, SilentToAttentionNeverAnswersButCounts) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::SilentToAttention;
    StartDevice(options);
    ASSERT_TRUE(line_.WriteText(kAttention + kAttention + kAttention + kAttention + kAttention));
    ASSERT_TRUE(sim_->WaitForAttentionBytes(5, kSoon));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    EXPECT_EQ(sim_->PresenceBytesSent(), 0u);
}

TEST_F(SimulatorTest, PresenceAfterTheConfiguredNumberOfAttentionBytes) {
    bootsim::Options options;
    options.attentionsBeforePresence = 4;
    StartDevice(options);
    ASSERT_TRUE(line_.WriteText(kAttention + kAttention + kAttention));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, kSoon), kPresence);
}

// --- misbehaviour around the pages -----------------------------------------------------------------

TEST_F(SimulatorTest, RefusesTheChosenPageAsOftenAsTold) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::RefusePage;
    options.page = 1;
    options.refusals = 2;
    StartDevice(options);
    GreetAndAccept();
    const std::vector<std::uint8_t> image = PatternImage(3);
    std::string replies;
    for (unsigned k : {0u, 1u, 1u, 1u, 2u}) {
        ASSERT_TRUE(line_.WriteText(FrameOf(k, image)));
        replies += line_.ReadFor(1, kSoon);
    }
    EXPECT_EQ(replies, "!\x40\x40!!");
    ASSERT_TRUE(line_.WriteText("\xFF\xFF"));
    ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));
    EXPECT_EQ(sim_->LastImage(), image);
}

TEST_F(SimulatorTest, WrongReplyToTheChosenPage) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::WrongReplyToPage;
    options.page = 1;
    options.wrongReply = 0x3F;
    StartDevice(options);
    GreetAndAccept();
    const std::vector<std::uint8_t> image = PatternImage(2);
    ASSERT_TRUE(line_.WriteText(FrameOf(0, image)));
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    ASSERT_TRUE(line_.WriteText(FrameOf(1, image)));
    EXPECT_EQ(line_.ReadFor(1, kSoon), "\x3F");
}

TEST_F(SimulatorTest, SlowReplyToTheChosenPage) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::SlowReplyToPage;
    options.page = 0;
    options.slowReply = 600ms;
    StartDevice(options);
    GreetAndAccept();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(line_.WriteText(FrameOf(0, PatternImage(1))));
    EXPECT_EQ(line_.ReadFor(1, 400ms), "") << "too early";
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 600ms);
}

// A held answer waits for the case, however long, and goes out the moment the case lets it; the
// pages before and after it are answered as usual, and a device stopped meanwhile does not wait.
TEST_F(SimulatorTest, HeldAnswerGoesOutWhenTheCaseLetsItGo) {
    StartDevice();
    sim_->HoldAnswerTo(1);
    GreetAndAccept();
    const std::vector<std::uint8_t> image = PatternImage(4);
    ASSERT_TRUE(line_.WriteText(FrameOf(0, image)));
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    EXPECT_FALSE(sim_->WaitForHeldAnswer(0, 0ms));
    ASSERT_TRUE(line_.WriteText(FrameOf(1, image)));
    ASSERT_TRUE(sim_->WaitForHeldAnswer(1, kSoon));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "") << "answered while held";
    EXPECT_EQ(sim_->Frames().size(), 1u);
    sim_->ReleaseHeldAnswer();
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    EXPECT_FALSE(sim_->WaitForHeldAnswer(1, 0ms));
    // Once let go, the hold is spent: the next page is answered at once.
    ASSERT_TRUE(line_.WriteText(FrameOf(2, image)));
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    sim_->HoldAnswerTo(3);
    ASSERT_TRUE(line_.WriteText(FrameOf(3, image)));
    ASSERT_TRUE(sim_->WaitForHeldAnswer(3, kSoon));
    const auto stopping = std::chrono::steady_clock::now();
    sim_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 500ms) << "the stop waited for the held answer";
}

// A program that gave up waiting has let the line go; an answer written then would wait in the
// line for whoever opens it next and be taken for part of another conversation.
TEST_F(SimulatorTest, AnAnswerTooLateForAClosedLineIsNotLeftInIt) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::SlowReplyToPage;
    options.page = 0;
    options.slowReply = 500ms;
    StartDevice(options);
    GreetAndAccept();
    ASSERT_TRUE(line_.WriteText(FrameOf(0, PatternImage(1))));
    line_.Close();
    ASSERT_TRUE(sim_->WaitForLineClosed(kSoon));
    ASSERT_TRUE(sim_->WaitForFrames(1, kSoon));
    EXPECT_EQ(sim_->Frames()[0].reply, 0) << "no answer given";

    ASSERT_TRUE(line_.Open(dir_.Link()));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
}

TEST_F(SimulatorTest, VanishesAfterTheChosenPage) {
    bootsim::Options options;
    options.misbehaviour = Misbehaviour::VanishAfterPage;
    options.page = 0;
    StartDevice(options);
    GreetAndAccept();
    const std::vector<std::uint8_t> image = PatternImage(2);
    ASSERT_TRUE(line_.WriteText(FrameOf(0, image)));
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    ASSERT_TRUE(sim_->WaitForVanished(kSoon));

    struct stat info {};
    EXPECT_NE(lstat(dir_.Link().c_str(), &info), 0) << "the link is gone";
    line_.WriteText(FrameOf(1, image));
    EXPECT_EQ(line_.ReadFor(1, kQuiet), "");
    EXPECT_EQ(sim_->Frames().size(), 1u);
}

// --- the program's side of the line ------------------------------------------------------------------

// A program that plays the update with one pause too short, one answer not waited for or one
// attention byte too many. The device names what it saw with the figures; a program that keeps
// every pause to the millisecond gives it nothing to say.
struct PcTimingCase {
    const char* name;
    const char* error;  // the one protocol error, as a pattern; empty when there must be none
    std::chrono::milliseconds settle = 100ms;
    unsigned attentionsAfterPresence = 1;
    bool awaitReady = true;
    Pacing page0{};
    Pacing page1{};
    std::chrono::milliseconds replyTime{1};
    std::chrono::milliseconds readyDelay{0};
    unsigned pages = 2;
    Pacing rest{};  // for the pages after the second
    bool paced = false;
};
void PrintTo(const PcTimingCase& c, std::ostream* os) { *os << c.name; }

class ProgramSide : public SimulatorTest, public testing::WithParamInterface<PcTimingCase> {};

TEST_P(ProgramSide, NamesWhatTheProgramDidWrongWithItsFigures) {
    const PcTimingCase& c = GetParam();
    bootsim::Options options;
    options.replyTime = c.replyTime;
    options.readyDelay = c.readyDelay;
    options.pacedLine = c.paced;
    StartDevice(options);
    Greet(c.settle, c.attentionsAfterPresence);
    ASSERT_EQ(line_.ReadFor(13, kSoon), "GX-REM2-2.32\r");
    if (c.awaitReady) {
        ASSERT_EQ(line_.ReadFor(1, kSoon), "!");
    }
    const std::vector<std::uint8_t> image = PatternImage(c.pages);
    Exchange(0, image, 0, c.page0);
    Exchange(1, image, 0, c.page1);
    for (unsigned k = 2; k < c.pages; ++k) Exchange(k, image, 0, c.rest);
    ASSERT_TRUE(line_.WriteText("\xFF\xFF"));
    ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));
    EXPECT_EQ(sim_->LastImage(), image) << "the device still takes what it is given";

    const std::vector<std::string> errors = sim_->ProtocolErrors();
    if (std::string(c.error).empty()) {
        EXPECT_EQ(errors, std::vector<std::string>{});
        return;
    }
    ASSERT_EQ(errors.size(), 1u) << testing::PrintToString(errors);
    EXPECT_TRUE(std::regex_match(errors[0], std::regex(c.error))) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramSide,
    testing::Values(
        PcTimingCase{.name = "EveryPauseKeptExactly", .error = "", .pages = 10},
        // One gap in five looks short when a byte reaches the line late; the program kept its pause.
        PcTimingCase{.name = "OneShortGapInFiveIsTheLine", .error = "", .page1 = {.afterNumber = 5ms}, .pages = 5},
        // In a short update one late byte is already a quarter of the gaps: one alone is never judged.
        PcTimingCase{.name = "OneShortGapInTwoIsTheLine", .error = "", .page1 = {.afterNumber = 5ms}},
        PcTimingCase{.name = "GreetingTooSoon",
                     .error = R"(greeting came [0-9]+\.[0-9] ms after the presence byte went out, less than 100\.0 ms)",
                     .settle = 50ms},
        PcTimingCase{.name = "SecondAttentionAfterPresence",
                     .error = "a second attention byte after the presence byte; one is the most",
                     .attentionsAfterPresence = 2},
        PcTimingCase{
            .name = "DataTooSoonAfterPageNumber",
            .error =
                R"(data came less than 20\.0 ms after its page number on 2 of 2 frames, the soonest [0-9]+\.[0-9] ms after)",
            .page0 = {.afterNumber = 5ms},
            .page1 = {.afterNumber = 5ms}},
        PcTimingCase{
            .name = "ChecksumTooSoonAfterData",
            .error =
                R"(checksum came less than 10\.0 ms after its data on 2 of 2 frames, the soonest [0-9]+\.[0-9] ms after)",
            .page0 = {.afterData = 0ms},
            .page1 = {.afterData = 0ms}},
        PcTimingCase{
            .name = "NextFrameTooSoonAfterChecksum",
            .error =
                R"(the next frame or the end marker came less than 20\.0 ms after the checksum before it on 2 of 3 frames, the soonest [0-9]+\.[0-9] ms after)",
            .page0 = {.afterChecksum = 5ms},
            .page1 = {.afterChecksum = 5ms},
            .pages = 3},
        PcTimingCase{
            .name = "EndMarkerTooSoonAfterChecksum",
            .error =
                R"(the next frame or the end marker came less than 20\.0 ms after the checksum before it on 2 of 2 frames, the soonest [0-9]+\.[0-9] ms after)",
            .page0 = {.afterChecksum = 5ms},
            .page1 = {.afterChecksum = 5ms}},
        // Two milliseconds short on every frame: each gap alone could be the line's, their median can't.
        PcTimingCase{
            .name = "DataTwoMsEarlyOnEveryFrame",
            .error = R"(data came a median of 1[78]\.[0-9] ms after its page number over 10 frames, less than 20\.0 ms)",
            .page0 = {.afterNumber = 18ms},
            .page1 = {.afterNumber = 18ms},
            .pages = 10,
            .rest = {.afterNumber = 18ms}},
        PcTimingCase{
            .name = "ChecksumTwoMsEarlyOnEveryFrame",
            .error = R"(checksum came a median of [78]\.[0-9] ms after its data over 10 frames, less than 10\.0 ms)",
            .page0 = {.afterData = 8ms},
            .page1 = {.afterData = 8ms},
            .pages = 10,
            .rest = {.afterData = 8ms}},
        PcTimingCase{
            .name = "NextFrameTwoMsEarlyOnEveryFrame",
            .error =
                R"(the next frame or the end marker came a lower quartile of 1[789]\.[0-9] ms after the checksum before it over 10 frames, less than 20\.0 ms)",
            .page0 = {.afterChecksum = 18ms},
            .page1 = {.afterChecksum = 18ms},
            .pages = 10,
            .rest = {.afterChecksum = 18ms}},
        // On a paced line the pauses are still measured from when the program wrote, not from when the
        // bytes reached the device a data block later.
        PcTimingCase{.name = "PacedEveryPauseKept", .error = "", .pages = 10, .paced = true},
        PcTimingCase{
            .name = "PacedDataTwoMsEarlyOnEveryFrame",
            .error = R"(data came a median of 1[78]\.[0-9] ms after its page number over 10 frames, less than 20\.0 ms)",
            .page0 = {.afterNumber = 18ms},
            .page1 = {.afterNumber = 18ms},
            .pages = 10,
            .rest = {.afterNumber = 18ms},
            .paced = true},
        PcTimingCase{
            .name = "PacedChecksumTwoMsEarlyOnEveryFrame",
            .error = R"(checksum came a median of [78]\.[0-9] ms after its data over 10 frames, less than 10\.0 ms)",
            .page0 = {.afterData = 8ms},
            .page1 = {.afterData = 8ms},
            .pages = 10,
            .rest = {.afterData = 8ms},
            .paced = true},
        // The answer takes longer than the pause: a program that sends on after the pause alone
        // is caught even though every gap is long enough.
        PcTimingCase{.name = "NextFrameBeforeTheAnswer",
                     .error = "page 1 came before the answer to page 0 went out",
                     .page0 = {.afterChecksum = 25ms, .answersToRead = 0},
                     .page1 = {.answersToRead = 2},
                     .replyTime = 60ms},
        PcTimingCase{.name = "FirstFrameBeforeTheReadyByte",
                     .error = "page 0 came before the ready byte went out",
                     .awaitReady = false,
                     .page0 = {.answersToRead = 2},
                     .readyDelay = 300ms}),
    [](const auto& info) { return std::string(info.param.name); });

// Read back from the terminal the program set up, once it talks. A pseudo-terminal keeps the
// speed, the stop bits and the flow control; asked for 7 data bits and parity it still reports
// 8 and none, so those two are judged only on a line that keeps them.
struct LineCase {
    const char* name;
    speed_t speed;
    void (*change)(termios&);
    std::string seen;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineSettingsRead : public SimulatorTest, public testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsRead, AsTheProgramSetThem) {
    const LineCase& c = GetParam();
    sim_ = std::make_unique<bootsim::Simulator>();
    ASSERT_TRUE(sim_->Start(dir_.Link()));
    ASSERT_TRUE(line_.Open(dir_.Link(), c.speed, c.change));
    ASSERT_TRUE(line_.WriteText(kAttention));
    ASSERT_TRUE(sim_->WaitForAttentionBytes(1, kSoon));
    EXPECT_EQ(sim_->LineSettings(), c.seen);
    const std::string wanted = "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control";
    const std::vector<std::string> expected =
        c.seen == wanted ? std::vector<std::string>{}
                         : std::vector<std::string>{"line at " + c.seen + "; the device talks " + wanted};
    EXPECT_EQ(sim_->ProtocolErrors(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineSettingsRead,
    testing::Values(
        LineCase{"AsWanted", B38400, nullptr, "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control"},
        LineCase{"Slower", B19200, nullptr, "19200 baud, 8 data bits, no parity, 1 stop bit, no flow control"},
        LineCase{"TwoStopBits", B38400, [](termios& t) { t.c_cflag |= CSTOPB; },
                 "38400 baud, 8 data bits, no parity, 2 stop bits, no flow control"},
        LineCase{"HardwareFlow", B38400, [](termios& t) { t.c_cflag |= CRTSCTS; },
                 "38400 baud, 8 data bits, no parity, 1 stop bit, RTS/CTS flow control"},
        LineCase{"SoftwareFlow", B38400, [](termios& t) { t.c_iflag |= IXON | IXOFF; },
                 "38400 baud, 8 data bits, no parity, 1 stop bit, XON/XOFF on output and XON/XOFF on input"},
        LineCase{"SevenBitsEvenParityNotKeptByThePty", B38400,
                 [](termios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB; },
                 "38400 baud, 8 data bits, no parity, 1 stop bit, no flow control"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a pseudo-terminal can't carry, judged on the settings themselves.
TEST(LineDescription, NamesDataBitsAndParity) {
    termios t{};
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    EXPECT_TRUE(bootsim::LineAsWanted(t));
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB;
    EXPECT_EQ(bootsim::DescribeLine(t), "38400 baud, 7 data bits, even parity, 1 stop bit, no flow control");
    EXPECT_FALSE(bootsim::LineAsWanted(t));
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS8 | PARENB | PARODD;
    EXPECT_EQ(bootsim::DescribeLine(t), "38400 baud, 8 data bits, odd parity, 1 stop bit, no flow control");
    EXPECT_FALSE(bootsim::LineAsWanted(t));
}

// Bytes around the presence byte: noise after each unanswered attention byte and before the
// presence byte, and more right after it, all in the presence byte's own write.
TEST_F(SimulatorTest, SaysMoreAroundThePresenceByteWhenTold) {
    bootsim::Options options;
    options.noiseBeforePresence = std::string("\x00\x55", 2);
    options.bytesAfterPresence = "GX-REM2-2.31\r";
    StartDevice(options);
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(2, kSoon), std::string("\x00\x55", 2));
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(16, kSoon), std::string("\x00\x55\xD0GX-REM2-2.31\r", 16));
    EXPECT_EQ(sim_->PresenceBytesSent(), 1u);
}

TEST_F(SimulatorTest, SendsThePresenceByteLateWhenTold) {
    bootsim::Options options;
    options.attentionsBeforePresence = 1;
    options.presenceDelay = 400ms;
    StartDevice(options);
    const auto attentionAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(line_.WriteText(kAttention));
    EXPECT_EQ(line_.ReadFor(1, 300ms), "") << "too early";
    EXPECT_EQ(line_.ReadFor(1, kSoon), kPresence);
    EXPECT_GE(std::chrono::steady_clock::now() - attentionAt, 400ms);
}

TEST_F(SimulatorTest, SendsTheReadyByteOnItsOwnWhenTold) {
    bootsim::Options options;
    options.readyDelay = 400ms;
    StartDevice(options);
    Greet();
    ASSERT_EQ(line_.ReadFor(13, kSoon), "GX-REM2-2.32\r");
    const auto versionAt = std::chrono::steady_clock::now();
    EXPECT_EQ(line_.ReadFor(1, 300ms), "") << "too early";
    EXPECT_EQ(line_.ReadFor(1, kSoon), "!");
    EXPECT_GE(std::chrono::steady_clock::now() - versionAt, 390ms);
}

// The reader's stamps are only as good as its priority: a device that could not raise it says so.
TEST(SimulatorReader, SaysWhenItRunsAtNormalPriority) {
    LinkDir dir;
    std::vector<std::string> events;
    std::mutex eventsMutex;
    bootsim::Simulator sim;
    sim.SetEventSink([&](const std::string& e) {
        std::lock_guard<std::mutex> lock(eventsMutex);
        events.push_back(e);
    });
    ASSERT_TRUE(sim.Start(dir.Link()));
    std::this_thread::sleep_for(100ms);
    sim.Stop();
    bool said = false;
    for (const std::string& e : events) said |= e.rfind("reader at normal priority", 0) == 0;
    EXPECT_EQ(said, !sim.ReaderRaised());
    if (!sim.ReaderRaised()) std::printf("note: the reader runs at normal priority here\n");
}

// --- a paced line ------------------------------------------------------------------------------------

// At the speed the program set, read back from the line: the device hears a byte only once its ten
// bits could have crossed a cable, and its own bytes come no sooner than a cable brings them.
struct SpeedCase {
    const char* name;
    speed_t speed;
    unsigned baud;
};
void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.name; }

class PacedLine : public SimulatorTest, public testing::WithParamInterface<SpeedCase> {};

TEST_P(PacedLine, CarriesBothWaysAtTheCablesPace) {
    const SpeedCase& c = GetParam();
    bootsim::Options options;
    options.pacedLine = true;
    sim_ = std::make_unique<bootsim::Simulator>(options);
    ASSERT_TRUE(sim_->Start(dir_.Link()));
    ASSERT_TRUE(line_.Open(dir_.Link(), c.speed));
    const auto bytes = [&](long count) { return bootsim::ByteTime(c.baud) * count; };

    ASSERT_TRUE(line_.WriteText(kAttention + kAttention));
    ASSERT_EQ(line_.ReadFor(1, kSoon), kPresence);
    std::this_thread::sleep_for(100ms);
    const auto greetingSent = std::chrono::steady_clock::now();
    ASSERT_TRUE(line_.WriteText(kGreeting));
    // The greeting in, the device's millisecond, then the version line and the ready byte out.
    ASSERT_EQ(line_.ReadFor(14, kSoon), "GX-REM2-2.32\r!");
    EXPECT_GE(std::chrono::steady_clock::now() - greetingSent, bytes(20 + 14) + 1ms);

    // A frame written at once reaches the device a whole block later, and the answer crosses back.
    const auto frameSent = std::chrono::steady_clock::now();
    ASSERT_TRUE(line_.WriteText(FrameOf(0, PatternImage(1))));
    ASSERT_EQ(line_.ReadFor(1, kSoon), "!");
    const auto took = std::chrono::steady_clock::now() - frameSent;
    EXPECT_GE(took, bytes(259 + 1) + 1ms);
    EXPECT_LT(took, bytes(259 + 1) * 3 / 2 + 20ms) << "at the pace, not behind it";
    const std::vector<bootsim::Frame> frames = sim_->Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].checksumOk);
}

INSTANTIATE_TEST_SUITE_P(Speeds, PacedLine,
                         testing::Values(SpeedCase{"At38400", B38400, 38400}, SpeedCase{"At19200", B19200, 19200}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the link ----------------------------------------------------------------------------------------

TEST(SimulatorLink, ReplacesALinkAndRemovesItsOwnAtStop) {
    LinkDir dir;
    ASSERT_EQ(symlink("/nonexistent/old", dir.Link().c_str()), 0);
    {
        bootsim::Simulator sim;
        ASSERT_TRUE(sim.Start(dir.Link()));
        char target[256] = {};
        ASSERT_GT(readlink(dir.Link().c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), sim.SlavePath());
        sim.Stop();
        sim.Stop();
    }
    struct stat info {};
    EXPECT_NE(lstat(dir.Link().c_str(), &info), 0);
}

TEST(SimulatorLink, NeverReplacesAFileThatIsNotALink) {
    LinkDir dir;
    { std::ofstream(dir.Link()) << "keep me"; }
    bootsim::Simulator sim;
    EXPECT_FALSE(sim.Start(dir.Link()));
    std::ifstream kept(dir.Link());
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
}

// --- the conversation against the simulator ---------------------------------------------------------

struct Agreement {
    const char* name;
    Misbehaviour mode;
    unsigned refusals;
    update::TransferOutcome outcome;
    std::vector<unsigned> progress;
    std::size_t frames;
    bool paced = false;
};
void PrintTo(const Agreement& c, std::ostream* os) { *os << c.name; }

class ConversationAgainstSimulator : public SimulatorTest, public testing::WithParamInterface<Agreement> {};

TEST_P(ConversationAgainstSimulator, FindsGreetsAndSendsTheImage) {
    const Agreement& c = GetParam();
    bootsim::Options options;
    options.misbehaviour = c.mode;
    options.page = 1;
    options.refusals = c.refusals;
    options.pacedLine = c.paced;
    StartDevice(options);

    bool found = false;
    for (int tick = 0; tick < 20 && !found; ++tick) {
        found = update::PollForBootLoader(line_);
        if (!found) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(found);

    const std::vector<std::uint8_t> image = PatternImage(2);
    ptyline::Host host(image);
    EXPECT_EQ(update::TransferPages(line_, host), c.outcome);
    EXPECT_EQ(host.versions, std::vector<std::string>{"GX-REM2-2.32"});
    EXPECT_EQ(host.progress, c.progress);
    EXPECT_FALSE(host.open);

    ASSERT_TRUE(sim_->WaitForFrames(c.frames, kSoon));
    EXPECT_EQ(sim_->Frames().size(), c.frames);
    EXPECT_EQ(sim_->ProtocolErrors(), std::vector<std::string>{});
    if (c.outcome == update::TransferOutcome::Success) {
        ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));
        EXPECT_EQ(sim_->LastImage(), image);
    } else {
        EXPECT_FALSE(sim_->WaitForEndMarker(kQuiet));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ConversationAgainstSimulator,
    testing::Values(Agreement{"GoodTwoPages", Misbehaviour::None, 0, update::TransferOutcome::Success, {1, 2}, 2},
                    // Every answer a byte at a time, as a cable brings it.
                    Agreement{"GoodTwoPagesOnAPacedLine",
                              Misbehaviour::None,
                              0,
                              update::TransferOutcome::Success,
                              {1, 2},
                              2,
                              true},
                    Agreement{"FourRefusalsStillPass",
                              Misbehaviour::RefusePage,
                              4,
                              update::TransferOutcome::Success,
                              {1, 2, 2, 2, 2, 2},
                              6},
                    Agreement{"FifthRefusalFails",
                              Misbehaviour::RefusePage,
                              5,
                              update::TransferOutcome::InvalidReadyResponse,
                              {1, 2, 2, 2, 2, 2},
                              6}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

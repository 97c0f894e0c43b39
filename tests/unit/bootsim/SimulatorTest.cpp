// The boot loader stand-in, driven from the program's end of its line.
#include "tools/bootsim/Simulator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/bootsim/PtyLine.h"
#include "update/BootLoaderConversation.h"

namespace {

using namespace std::chrono_literals;
using bootsim::LineEvent;
using bootsim::Misbehaviour;

const std::string kGreeting = "&%*-GX-REM2-001-2.32";
const std::string kPresence = "\xD0";
const std::string kAttention = "\xC0";
constexpr auto kSoon = 2000ms;   // for what must happen
constexpr auto kQuiet = 300ms;   // for what must not

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
  // Attention bytes until the presence byte, then the finding tick's own, then the greeting.
  void Greet() {
    ASSERT_TRUE(line_.WriteText(kAttention + kAttention));
    ASSERT_EQ(line_.ReadFor(1, kSoon), kPresence);
    ASSERT_TRUE(line_.WriteText(kAttention + kGreeting));
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
  StartDevice();
  ASSERT_TRUE(sim_->WaitForLineOpened(kSoon));

  ASSERT_TRUE(line_.WriteText(kAttention));
  EXPECT_EQ(line_.ReadFor(1, kQuiet), "") << "one attention byte is not yet the user pressing reset";
  GreetAndAccept();

  const std::vector<std::uint8_t> image = PatternImage(2);
  for (unsigned k = 0; k < 2; ++k) {
    ASSERT_TRUE(line_.WriteText(FrameOf(k, image)));
    ASSERT_EQ(line_.ReadFor(1, kSoon), "!") << "page " << k;
  }
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
  EXPECT_TRUE(sim_->ProtocolErrors().empty());

  line_.Close();
  ASSERT_TRUE(sim_->WaitForLineClosed(kSoon));
  EXPECT_EQ(sim_->LineEvents(), (std::vector<LineEvent>{LineEvent::Opened, LineEvent::Closed}));
}

TEST_F(SimulatorTest, WaitsForAttentionAgainAfterAnUpdate) {
  StartDevice();
  GreetAndAccept();
  ASSERT_TRUE(line_.WriteText(FrameOf(0, PatternImage(1))));
  ASSERT_EQ(line_.ReadFor(1, kSoon), "!");
  ASSERT_TRUE(line_.WriteText("\xFF\xFF"));
  ASSERT_TRUE(sim_->WaitForEndMarker(kSoon));

  GreetAndAccept();
  EXPECT_EQ(sim_->PresenceBytesSent(), 2u);
  EXPECT_EQ(sim_->GreetingsOk(), 2u);
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
  EXPECT_EQ(sim_->LineEvents(),
            (std::vector<LineEvent>{LineEvent::Opened, LineEvent::Closed, LineEvent::Opened}));
}

TEST_F(SimulatorTest, BadChecksumAndPageOutOfOrderAreRefusedAndRecorded) {
  StartDevice();
  GreetAndAccept();
  const std::vector<std::uint8_t> image = PatternImage(2);
  ASSERT_TRUE(line_.WriteText(FrameOf(0, image, +1)));
  EXPECT_EQ(line_.ReadFor(1, kSoon), "\x40");
  ASSERT_TRUE(line_.WriteText(FrameOf(1, image)));
  EXPECT_EQ(line_.ReadFor(1, kSoon), "\x40");
  ASSERT_TRUE(line_.WriteText(FrameOf(0, image)));
  EXPECT_EQ(line_.ReadFor(1, kSoon), "!");

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

INSTANTIATE_TEST_SUITE_P(
    Modes, SimulatorAnswer,
    testing::Values(AnswerCase{"Good", Misbehaviour::None, "GX-REM2-2.32\r!"},
                    AnswerCase{"WrongVersion", Misbehaviour::WrongVersion, "GX-REM2-2.31\r!"},
                    AnswerCase{"LowerCase", Misbehaviour::LowerCaseVersion, "gx-rem2-2.32\r!"},
                    AnswerCase{"Short", Misbehaviour::ShortVersion, "GX-REM2-2.3\r!"},
                    AnswerCase{"Long", Misbehaviour::LongVersion, "GX-REM2-2.320\r!"},
                    AnswerCase{"LineFeed", Misbehaviour::LineFeedAfterCarriageReturn, "GX-REM2-2.32\r\n!"},
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
};
void PrintTo(const Agreement& c, std::ostream* os) { *os << c.name; }

class ConversationAgainstSimulator : public SimulatorTest, public testing::WithParamInterface<Agreement> {};

TEST_P(ConversationAgainstSimulator, FindsGreetsAndSendsTheImage) {
  const Agreement& c = GetParam();
  bootsim::Options options;
  options.misbehaviour = c.mode;
  options.page = 1;
  options.refusals = c.refusals;
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
  EXPECT_TRUE(sim_->ProtocolErrors().empty());
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
                    Agreement{"FourRefusalsStillPass", Misbehaviour::RefusePage, 4, update::TransferOutcome::Success,
                              {1, 2, 2, 2, 2, 2}, 6},
                    Agreement{"FifthRefusalFails", Misbehaviour::RefusePage, 5,
                              update::TransferOutcome::InvalidReadyResponse, {1, 2, 2, 2, 2, 2}, 6}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

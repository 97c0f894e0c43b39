// Generated device behaviours against the boot loader conversation: thousands of devices that are
// late around every window's end, chatter before the greeting, send truncated and corrupted
// replies, refuse pages in streaks or fall silent at any stage. Each generator knows what it told
// its device to do and so which outcome that calls for (both, for a byte due within a millisecond
// of a window's end); every run must end there and keep the rules of the exchange (see
// ConversationModel.h).
//
// The devices come from a fixed seed; TLYN_FAULT_SEED=<seed> makes others. A failing run prints its
// seed, and that seed repeats exactly those devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/unit/update/ConversationModel.h"
#include "tests/unit/update/ScriptedDevice.h"

namespace {

using scripted::DeviceScript;
using scripted::ImageSetup;
using scripted::OutcomeSet;
using scripted::Reply;
using update::TransferOutcome;

constexpr int kBehavioursPerFamily = 400;
constexpr int kFailedRead = scripted::kFailedRead;
const std::string kLine = "GX-REM2-2.32";
// The version window ends 3020 ms after the greeting, a page's reply window 3020 ms after its
// checksum: each begins after a 20 ms pause. The ready window ends 2000 ms after the version line.
constexpr std::int64_t kVersionEdge = 3020;
constexpr std::int64_t kReplyEdge = 3020;
constexpr std::int64_t kReadyWindow = 2000;

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : engine_() % n; }
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low + 1)));
    }
    bool Percent(unsigned p) { return Below(100) < p; }
    int Byte() { return static_cast<int>(Below(256)); }
    // Most edges a millisecond or two either side, the rest a little further out.
    std::int64_t NearEdge() { return Percent(60) ? Between(-4, 4) : Between(-80, 80); }

private:
    std::mt19937_64 engine_;
};

struct Behaviour {
    std::string told;  // what the device does, for the report of a failing run
    std::uint32_t origin = 0;
    DeviceScript device;
    ImageSetup image;
    OutcomeSet calledFor;  // empty: the device was told nothing that decides the outcome
};

void CallFor(Behaviour& b, TransferOutcome outcome) {
    b.calledFor.Add(outcome);
    b.told += std::string("calls for ") + scripted::OutcomeName(outcome) + "; ";
}

// A byte `at` ms after its window's reference point, for a window that ends at `edge`: in time
// well before the end, late after it, and within a millisecond of it either.
enum class Timing { InTime, AtTheEdge, Late };
Timing Against(std::int64_t at, std::int64_t edge) {
    if (at <= edge - 2) return Timing::InTime;
    return at <= edge ? Timing::AtTheEdge : Timing::Late;
}

// The outcome of a byte that decides the exchange if it comes in time, and of its window's end if not.
void CallForByTiming(Behaviour& b, Timing timing, TransferOutcome inTime, TransferOutcome late) {
    if (timing != Timing::Late) CallFor(b, inTime);
    if (timing != Timing::InTime) CallFor(b, late);
}

std::vector<int> Bytes(const std::string& text) { return std::vector<int>(text.begin(), text.end()); }

std::string Shown(const std::vector<int>& bytes) {
    std::string text;
    for (int b : bytes) {
        if (b == kFailedRead) {
            text += "<failed read>";
        } else if (std::isprint(b) != 0) {
            text += static_cast<char>(b);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            text += std::string("<") + kHex[(b >> 4) & 0xF] + kHex[b & 0xF] + ">";
        }
    }
    return text;
}

std::string Told(const char* when, std::int64_t at, const std::vector<int>& bytes) {
    return std::string(when) + " +" + std::to_string(at) + " \"" + Shown(bytes) + "\"; ";
}

// The tick counter anywhere, and half the time so near its wrap that the windows straddle it.
std::uint32_t Origin(Random& random) {
    if (random.Percent(50)) return 0xFFFFFFFFu - static_cast<std::uint32_t>(random.Below(12000));
    return static_cast<std::uint32_t>(random.Below(0x100000000ull));
}

Behaviour Base(Random& random, unsigned pages) {
    Behaviour b;
    b.origin = Origin(random);
    b.image.image.resize(pages * 256u);
    for (std::uint8_t& byte : b.image.image) byte = static_cast<std::uint8_t>(random.Byte());
    b.told = std::to_string(pages) + " page(s), clock from " + std::to_string(b.origin) + "; ";
    return b;
}

void Answer(Behaviour& b, std::int64_t at, const std::vector<int>& bytes) {
    b.device.toGreeting.push_back({static_cast<std::uint32_t>(at), bytes});
    b.told += Told("to the greeting", at, bytes);
}
void Early(Behaviour& b, std::int64_t at, const std::vector<int>& bytes) {
    b.device.early.push_back({static_cast<std::uint32_t>(at), bytes});
    b.told += Told("from the start", at, bytes);
}
void ToFrame(Behaviour& b, std::int64_t at, const std::vector<int>& bytes) {
    b.told += Told(("to frame " + std::to_string(b.device.toFrames.size())).c_str(), at, bytes);
    b.device.toFrames.push_back({static_cast<std::uint32_t>(at), bytes});
}
void GoodAnswer(Behaviour& b, Random& random) { Answer(b, random.Between(1, 2500), Bytes(kLine + "\r!")); }

std::vector<int> Noise(Random& random, std::size_t most) {
    std::vector<int> bytes(1 + random.Below(most));
    for (int& byte : bytes) byte = random.Percent(5) ? kFailedRead : random.Byte();
    return bytes;
}

// --- the families of faults ----------------------------------------------------------------------

// Chatter before the greeting, the presence byte and whole good answers among it, is purged; what
// comes after the purge (the greeting goes out at 100 ms) belongs to the version line and spoils it.
Behaviour NoiseBeforeTheGreeting(Random& random) {
    Behaviour b = Base(random, static_cast<unsigned>(random.Between(1, 3)));
    for (std::int64_t n = random.Between(1, 4); n > 0; --n) {
        const std::vector<std::vector<int>> kinds = {{0xD0}, Bytes(kLine + "\r!"), Noise(random, 24), {'!'}, {'@'}};
        Early(b, random.Between(0, 100), kinds[random.Below(kinds.size())]);
    }
    std::vector<int> leftOver;
    if (random.Percent(20)) {
        leftOver = Noise(random, 6);
        Early(b, random.Between(101, 119), leftOver);
    }
    const bool answers = random.Percent(80);
    // After the leftover chatter, so that it comes first in the line.
    if (answers) Answer(b, random.Between(20, 2500), Bytes(kLine + "\r!"));
    if (leftOver.empty()) {
        CallFor(b, answers ? TransferOutcome::Success : TransferOutcome::NoResponse);
    } else {
        // At most six bytes ahead of the line: it can only end wrong, or too long, or not at all.
        const bool endsTheLine =
            std::any_of(leftOver.begin(), leftOver.end(), [](int c) { return c == '\r' || c == kFailedRead; });
        CallFor(b, endsTheLine || answers ? TransferOutcome::InvalidVersion : TransferOutcome::NoResponse);
    }
    return b;
}

// The version line complete just before or just after its window ends, sent at once, with its
// carriage return late, or trickling in.
Behaviour VersionLineAroundItsWindow(Random& random) {
    Behaviour b = Base(random, 1);
    const std::int64_t crAt = kVersionEdge + random.NearEdge();
    // The carriage return completes the line, and the ready byte follows it at once.
    CallForByTiming(b, Against(crAt, kVersionEdge), TransferOutcome::Success, TransferOutcome::NoResponse);
    switch (random.Below(3)) {
        case 0: Answer(b, crAt, Bytes(kLine + "\r!")); break;
        case 1:
            Answer(b, random.Between(1, 2000), Bytes(kLine));
            Answer(b, crAt, Bytes("\r!"));
            break;
        default: {
            const std::int64_t every = random.Between(1, 240);
            const std::string text = kLine + "\r";
            for (std::size_t i = 0; i < text.size(); ++i) {
                Answer(b, crAt - static_cast<std::int64_t>(text.size() - 1 - i) * every,
                       {static_cast<unsigned char>(text[i])});
            }
            Answer(b, crAt + random.Between(0, 50), {'!'});
        }
    }
    return b;
}

// Lines that are not the version: one character changed, dropped or added, the wrong case, cut
// short with or without a failed read, a flood without a carriage return, an empty line.
Behaviour CorruptedVersionLine(Random& random) {
    Behaviour b = Base(random, 1);
    std::vector<int> line = Bytes(kLine);
    bool ended = true;
    const std::size_t at = random.Below(line.size());
    const std::uint64_t fault = random.Below(8);
    // Each fault is in the line well within its window; only a line cut short without its end
    // leaves the program waiting.
    CallFor(b, fault == 4 ? TransferOutcome::NoResponse : TransferOutcome::InvalidVersion);
    switch (fault) {
        case 0: {
            int other = random.Percent(10) ? kFailedRead : random.Byte();
            if (other == line[at]) other = '\r';
            line[at] = other;
            break;
        }
        case 1: line.erase(line.begin() + static_cast<std::ptrdiff_t>(at)); break;
        case 2: {
            int extra = random.Byte();
            if (extra == '\r') extra = '#';  // a carriage return at the end would leave the line whole
            line.insert(line.begin() + static_cast<std::ptrdiff_t>(random.Below(line.size() + 1)), extra);
            break;
        }
        case 3:
            for (int& c : line) c = std::tolower(c);
            break;
        case 4:
            line.resize(at);
            ended = false;
            break;
        case 5:
            line.resize(at);
            line.push_back(kFailedRead);
            break;
        case 6:
            line.resize(static_cast<std::size_t>(random.Between(13, 300)));
            for (int& c : line) c = random.Byte() | 0x80;  // never a carriage return
            ended = random.Percent(50);
            break;
        default: line.clear();
    }
    if (ended) line.insert(line.end(), {'\r', '!'});
    if (random.Percent(50)) {
        Answer(b, random.Between(1, 2800), line);
    } else {
        const std::int64_t every = random.Between(1, 200);
        for (std::size_t i = 0; i < line.size(); ++i) Answer(b, 1 + static_cast<std::int64_t>(i) * every, {line[i]});
    }
    return b;
}

// After a good version line: the ready byte around its window's end, a line feed, another byte, a
// failed read, or nothing.
Behaviour ReadyByteFaults(Random& random) {
    Behaviour b = Base(random, 1);
    const std::int64_t lineAt = random.Between(21, 2900);
    switch (random.Below(5)) {
        case 0: {
            const std::int64_t after = kReadyWindow + random.NearEdge();
            Answer(b, lineAt, Bytes(kLine + "\r"));
            Answer(b, lineAt + after, {'!'});
            CallForByTiming(b, Against(after, kReadyWindow), TransferOutcome::Success,
                            TransferOutcome::NoReadyResponse);
            break;
        }
        case 1:
            Answer(b, lineAt, Bytes(kLine + "\r\n!"));
            CallFor(b, TransferOutcome::InvalidReadyResponse);
            break;
        case 2: {
            int other = random.Byte();
            if (other == '!') other = '@';
            Answer(b, lineAt, Bytes(kLine + "\r"));
            Answer(b, lineAt + random.Between(0, 1900), {other});
            CallFor(b, TransferOutcome::InvalidReadyResponse);
            break;
        }
        case 3:
            Answer(b, lineAt, Bytes(kLine + "\r"));
            Answer(b, lineAt + random.Between(0, 1900), {kFailedRead});
            CallFor(b, TransferOutcome::InvalidReadyResponse);
            break;
        default: Answer(b, lineAt, Bytes(kLine + "\r")); CallFor(b, TransferOutcome::NoReadyResponse);
    }
    return b;
}

// Page replies just before and just after their window ends.
Behaviour PageRepliesAroundTheirWindow(Random& random) {
    const unsigned pages = static_cast<unsigned>(random.Between(1, 4));
    Behaviour b = Base(random, pages);
    GoodAnswer(b, random);
    // The first late reply ends the transfer; one at the edge of its window may or may not.
    bool late = false;
    for (unsigned k = 0; k < pages; ++k) {
        const std::int64_t at = random.Percent(40) ? kReplyEdge + random.NearEdge() : random.Between(1, 2990);
        ToFrame(b, at, {'!'});
        const Timing timing = Against(at, kReplyEdge);
        if (late) continue;
        if (timing != Timing::InTime) CallFor(b, TransferOutcome::NoResponse);
        late = timing == Timing::Late;
    }
    if (!late) CallFor(b, TransferOutcome::Success);
    return b;
}

// Streaks of refusals, mostly within the four repetitions a page is allowed, some past them.
Behaviour RefusalStreaks(Random& random) {
    const unsigned pages = static_cast<unsigned>(random.Between(1, 4));
    Behaviour b = Base(random, pages);
    GoodAnswer(b, random);
    bool tooMany = false;
    for (unsigned k = 0; k < pages; ++k) {
        const std::int64_t streak = random.Percent(75) ? random.Between(0, 4) : random.Between(5, 7);
        for (std::int64_t i = 0; i < streak; ++i) ToFrame(b, random.Between(1, 400), {'@'});
        ToFrame(b, random.Between(1, 400), {'!'});
        tooMany |= streak >= 5;  // a page refused five times in a row
    }
    CallFor(b, tooMany ? TransferOutcome::InvalidReadyResponse : TransferOutcome::Success);
    return b;
}

// A page's reply that is another byte, a failed read, a burst, missing or late: the first such
// reply ends the transfer. The last page's reply may also come doubled or followed by a refusal,
// or as a refusal and the taking at once, which the transfer survives.
Behaviour CorruptedPageReplies(Random& random) {
    const unsigned pages = static_cast<unsigned>(random.Between(1, 5));
    Behaviour b = Base(random, pages);
    GoodAnswer(b, random);
    for (unsigned k = 0; k < pages; ++k) {
        const std::int64_t at = random.Between(1, 2900);
        if (random.Percent(75)) {
            ToFrame(b, at, {'!'});
            continue;
        }
        if (k + 1 == pages && random.Percent(30)) {
            const std::vector<std::vector<int>> survived = {{'!', '!'}, {'@', '!'}, {'!', '@'}};
            ToFrame(b, at, survived[random.Below(survived.size())]);
            continue;
        }
        int other = random.Byte();
        if (other == '!' || other == '@') other = 0x00;
        std::vector<int> burst = Noise(random, 8);
        if (burst[0] == '!' || burst[0] == '@') burst[0] = other;
        switch (random.Below(5)) {
            case 0: ToFrame(b, at, {other}); break;
            case 1: ToFrame(b, at, {kFailedRead}); break;
            case 2: ToFrame(b, at, burst); break;
            case 3:
                ToFrame(b, at, {});
                CallFor(b, TransferOutcome::NoResponse);
                return b;
            default:
                ToFrame(b, kReplyEdge + 1 + random.Between(0, 500), {'!'});
                CallFor(b, TransferOutcome::NoResponse);
                return b;
        }
        CallFor(b, TransferOutcome::InvalidReadyResponse);
        return b;
    }
    CallFor(b, TransferOutcome::Success);
    return b;
}

// A device that works up to some point of the exchange and says nothing more.
Behaviour SilenceAtEveryStage(Random& random) {
    const unsigned pages = static_cast<unsigned>(random.Between(1, 4));
    Behaviour b = Base(random, pages);
    const std::int64_t cut = random.Between(0, 3 + 2 * static_cast<std::int64_t>(pages));
    if (cut == 0) {
        b.told += "silent after the greeting; ";
        CallFor(b, TransferOutcome::NoResponse);
    } else if (cut == 1) {
        Answer(b, random.Between(1, 2000), Bytes(kLine.substr(0, static_cast<std::size_t>(random.Between(1, 12)))));
        CallFor(b, TransferOutcome::NoResponse);
    } else if (cut == 2) {
        Answer(b, random.Between(1, 2900), Bytes(kLine + "\r"));
        CallFor(b, TransferOutcome::NoReadyResponse);
    } else {
        GoodAnswer(b, random);
        for (std::int64_t k = 0; k < static_cast<std::int64_t>(pages); ++k) {
            ToFrame(b, k + 3 == cut ? 0 : random.Between(1, 2000),
                    k + 3 == cut ? std::vector<int>{} : std::vector<int>{'!'});
        }
        CallFor(b, cut - 3 < static_cast<std::int64_t>(pages) ? TransferOutcome::NoResponse : TransferOutcome::Success);
    }
    return b;
}

// Anything at any time, the image's own troubles included. Nothing here decides the outcome in
// advance: these runs are held to the rules of the exchange alone.
Behaviour AnythingAtAnyTime(Random& random) {
    const unsigned pages = static_cast<unsigned>(random.Between(0, 5));
    Behaviour b = Base(random, pages);
    if (random.Percent(10)) b.image.opens = false;
    if (random.Percent(10)) b.image.failingPage = static_cast<unsigned>(random.Below(pages + 1));
    if (random.Percent(5)) {
        const unsigned counts[] = {0u, pages + 1, 0x10000u};
        b.image.pageCount = counts[random.Below(3)];
    }
    b.told += "image " + std::string(b.image.opens ? "opens" : "does not open") +
              (b.image.failingPage ? ", page " + std::to_string(*b.image.failingPage) + " unreadable" : "") +
              (b.image.pageCount ? ", claims " + std::to_string(*b.image.pageCount) + " pages" : "") + "; ";
    for (std::int64_t n = random.Between(0, 2); n > 0; --n) Early(b, random.Between(0, 200), Noise(random, 10));
    if (random.Percent(50)) {
        GoodAnswer(b, random);
    } else {
        for (std::int64_t n = random.Between(0, 4); n > 0; --n) {
            const std::vector<std::vector<int>> pieces = {Bytes(kLine), Bytes("\r"), Bytes("!"), Bytes(kLine + "\r!"),
                                                          Noise(random, 16)};
            Answer(b, random.Between(0, 6000), pieces[random.Below(pieces.size())]);
        }
    }
    for (std::int64_t n = random.Between(0, 8); n > 0; --n) {
        std::vector<int> reply;
        for (std::int64_t i = random.Between(0, 3); i > 0; --i) {
            const int choices[] = {'!', '!', '!', '@', random.Byte(), kFailedRead};
            reply.push_back(choices[random.Below(6)]);
        }
        ToFrame(b, random.Between(0, 3600), reply);
    }
    return b;
}

// --- the runs --------------------------------------------------------------------------------------

struct FaultFamily {
    const char* name;
    Behaviour (*make)(Random&);
    std::vector<TransferOutcome> reached;  // outcomes the family's devices must bring about
};
void PrintTo(const FaultFamily& f, std::ostream* os) { *os << f.name; }

// The same devices on every run and every machine, so a failure is never a matter of luck; another
// seed (TLYN_FAULT_SEED) explores other devices.
constexpr std::uint64_t kDefaultSeed = 0x5EED2011C0FFEEull;

std::uint64_t SuiteSeed() {
    if (const char* text = std::getenv("TLYN_FAULT_SEED"); text != nullptr && *text != '\0') {
        return std::strtoull(text, nullptr, 0);
    }
    return kDefaultSeed;
}

// One seed per device, from the run's seed, the family and the device's number.
std::uint64_t DeviceSeed(std::uint64_t seed, const char* family, int index) {
    std::uint64_t h = seed ^ 0x9E3779B97F4A7C15ull;
    for (const char* p = family; *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 0x100000001B3ull;
    h ^= static_cast<std::uint64_t>(index) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    return h;
}

class DeviceFaults : public testing::TestWithParam<FaultFamily> {};

TEST_P(DeviceFaults, EveryRunEndsAsTheDeviceCalledForAndKeepsTheExchangeRules) {
    const FaultFamily& family = GetParam();
    const std::uint64_t seed = SuiteSeed();
    const std::string repeat =
        "seed " + std::to_string(seed) + " (TLYN_FAULT_SEED=" + std::to_string(seed) + " repeats it)";
    scripted::OutcomeSet reached;
    for (int i = 0; i < kBehavioursPerFamily; ++i) {
        Random random(DeviceSeed(seed, family.name, i));
        const Behaviour b = family.make(random);
        scripted::RecordedRun run(b.origin, b.device, b.image);
        const TransferOutcome outcome = run.Run();
        reached.Add(outcome);
        const std::string device = "\n  device " + std::to_string(i) + " of " + repeat + ": " + b.told;
        ASSERT_TRUE(b.calledFor.Empty() || b.calledFor.Has(outcome))
            << "ended in " << scripted::OutcomeName(outcome) << " where the device called for " << b.calledFor.Text()
            << device;
        const std::string problem = run.Problem();
        ASSERT_TRUE(problem.empty()) << problem << device;
    }
    for (TransferOutcome outcome : family.reached) {
        EXPECT_TRUE(reached.Has(outcome)) << "no device ended in " << scripted::OutcomeName(outcome) << ", " << repeat;
    }
}

const FaultFamily kFamilies[] = {
    {"NoiseBeforeTheGreeting",
     NoiseBeforeTheGreeting,
     {TransferOutcome::Success, TransferOutcome::NoResponse, TransferOutcome::InvalidVersion}},
    {"VersionLineAroundItsWindow", VersionLineAroundItsWindow, {TransferOutcome::Success, TransferOutcome::NoResponse}},
    {"CorruptedVersionLine", CorruptedVersionLine, {TransferOutcome::InvalidVersion, TransferOutcome::NoResponse}},
    {"ReadyByteFaults",
     ReadyByteFaults,
     {TransferOutcome::Success, TransferOutcome::NoReadyResponse, TransferOutcome::InvalidReadyResponse}},
    {"PageRepliesAroundTheirWindow",
     PageRepliesAroundTheirWindow,
     {TransferOutcome::Success, TransferOutcome::NoResponse}},
    {"RefusalStreaks", RefusalStreaks, {TransferOutcome::Success, TransferOutcome::InvalidReadyResponse}},
    {"CorruptedPageReplies",
     CorruptedPageReplies,
     {TransferOutcome::Success, TransferOutcome::InvalidReadyResponse, TransferOutcome::NoResponse}},
    {"SilenceAtEveryStage",
     SilenceAtEveryStage,
     {TransferOutcome::Success, TransferOutcome::NoResponse, TransferOutcome::NoReadyResponse}},
    {"AnythingAtAnyTime",
     AnythingAtAnyTime,
     {TransferOutcome::Success, TransferOutcome::ImageNotOpened, TransferOutcome::ImageNotRead}},
};
INSTANTIATE_TEST_SUITE_P(Devices, DeviceFaults, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

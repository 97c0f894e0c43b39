// The rules that the record of every run of the boot loader conversation against a scripted device
// must keep: the pauses, the windows, the frames, no read or write after the run's decision, the
// image closed once. Which outcome a run must end in is for whoever scripted the device to say.
//
// Taking a queued byte costs no time, as on a real line where a read takes microseconds; the
// recorded run gives the program a clock that behaves so (ReadingHost).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/update/ScriptedDevice.h"
#include "update/BootLoaderConversation.h"
#include "update/FailureMessage.h"

namespace scripted {

using update::TransferOutcome;

inline const char* OutcomeName(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::Success: return "Success";
        case TransferOutcome::NoResponse: return "NoResponse";
        case TransferOutcome::InvalidVersion: return "InvalidVersion";
        case TransferOutcome::NoReadyResponse: return "NoReadyResponse";
        case TransferOutcome::InvalidReadyResponse: return "InvalidReadyResponse";
        case TransferOutcome::ImageNotOpened: return "ImageNotOpened";
        case TransferOutcome::ImageNotRead: return "ImageNotRead";
    }
    return "an undefined outcome";
}

class OutcomeSet {
public:
    void Add(TransferOutcome outcome) { bits_ |= Bit(outcome); }
    bool Empty() const { return bits_ == 0; }
    bool Has(TransferOutcome outcome) const { return (bits_ & Bit(outcome)) != 0; }
    std::string Text() const {
        std::string text;
        for (unsigned i = 0; i < 6; ++i) {
            if ((bits_ & (1u << i)) == 0) continue;
            if (!text.empty()) text += " or ";
            text += OutcomeName(static_cast<TransferOutcome>(i));
        }
        return text;
    }

private:
    static unsigned Bit(TransferOutcome outcome) {
        const unsigned n = static_cast<unsigned>(outcome);
        return n < 32 ? 1u << n : 0u;
    }
    unsigned bits_ = 0;
};

// The device's words and the program's figures, spelled here on their own.
namespace expect {
inline const std::string kGreeting = "&%*-GX-REM2-001-2.32";
inline const std::string kVersion = "GX-REM2-2.32";
inline constexpr std::int64_t kSettleMs = 100;
inline constexpr std::int64_t kAfterGreetingMs = 20;
inline constexpr std::int64_t kVersionWindowMs = 3000;
inline constexpr std::int64_t kReadyWindowMs = 2000;
inline constexpr std::int64_t kBeforeChecksumMs = 20 + 10;  // after the page number, after the data
inline constexpr std::int64_t kAfterChecksumMs = 20;
inline constexpr std::int64_t kReplyWindowMs = 3000;
inline constexpr std::int64_t kAfterEndMarkerMs = 20;
inline constexpr std::size_t kFrameSize = 259;
inline constexpr int kRefusalLimit = 5;
inline constexpr unsigned kMaxPageCount = 0xFFFF;  // page numbers are 16 bits and 0xFFFF is the end marker's
}  // namespace expect

inline unsigned PageCountOf(const ImageSetup& image) {
    return image.pageCount.value_or(static_cast<unsigned>(image.image.size() / 256));
}

// The scripted host with a clock that stands still while bytes wait in the queue, so that taking
// them costs no time. A program that keeps looking at the clock without reading still sees it move.
class ReadingHost {
public:
    ReadingHost(VirtualClock& clock, Port& port, Host& host) : clock_(clock), port_(port), host_(host) {}

    std::uint32_t Now() {
        if (port_.Reads().size() != readsSeen_) {
            readsSeen_ = port_.Reads().size();
            stillLooks_ = 0;
        }
        if (port_.BytesAvailable() > 0 && ++stillLooks_ < kMostStillLooks) {
            lastNow_ = clock_.now;
        } else {
            stillLooks_ = 0;
            lastNow_ = host_.Now();
        }
        return lastNow_;
    }
    void Delay(std::uint32_t ms) { host_.Delay(ms); }
    void ShowBootLoaderVersion(const std::string& line) { host_.ShowBootLoaderVersion(line); }
    void ShowPageProgress(unsigned page, unsigned pageCount) { host_.ShowPageProgress(page, pageCount); }
    bool OpenImage(unsigned& pageCount) { return host_.OpenImage(pageCount); }
    bool ReadPage(unsigned index, std::uint8_t (&page)[256]) { return host_.ReadPage(index, page); }
    void CloseImage() { host_.CloseImage(); }

    std::uint32_t LastNow() const { return lastNow_; }

private:
    static constexpr int kMostStillLooks = 1000;

    VirtualClock& clock_;
    Port& port_;
    Host& host_;
    std::size_t readsSeen_ = 0;
    int stillLooks_ = 0;
    std::uint32_t lastNow_ = 0;
};

// One run of the conversation against a scripted device, with its record.
class RecordedRun {
public:
    RecordedRun(std::uint32_t origin, DeviceScript script, ImageSetup image)
        : origin_(origin),
          image_(image),
          clock_{origin},
          port_(clock_, trace_, std::move(script)),
          host_(clock_, trace_, std::move(image)),
          reading_(clock_, port_, host_) {}

    TransferOutcome Run() {
        outcome_ = update::TransferPages(port_, reading_);
        return outcome_;
    }

    // The first rule the run broke, or an empty text when it kept them all.
    std::string Problem() const {
        std::string problem = Exchange();
        if (problem.empty()) problem = Bookkeeping();
        return problem;
    }

private:
    struct FrameRecord {
        std::size_t firstWrite = 0;    // trace event of its first write
        std::size_t pause = 0;         // trace event of the pause after its checksum
        std::uint32_t replyStart = 0;  // end of that pause: its reply window starts
    };

    static std::uint32_t Elapsed(std::uint32_t from, std::uint32_t to) { return to - from; }
    static bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }
    static std::size_t Number(const std::string& event) { return std::stoul(event.substr(event.find(' ') + 1)); }

    std::size_t WholeFrames() const { return (port_.Wire().size() - expect::kGreeting.size()) / expect::kFrameSize; }
    std::size_t Tail() const { return (port_.Wire().size() - expect::kGreeting.size()) % expect::kFrameSize; }

    // The frames on the wire, placed among the trace's events; empty problem when each checksum was
    // followed by its pause.
    std::vector<FrameRecord> Frames(std::string& problem) const {
        const std::vector<Event>& events = trace_.events;
        std::vector<FrameRecord> frames(WholeFrames());
        const std::size_t greeting = expect::kGreeting.size();
        std::size_t written = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (!StartsWith(events[i].what, "write ")) continue;
            const std::size_t before = written;
            written += Number(events[i].what);
            if (before < greeting) continue;
            const std::size_t frame = (before - greeting) / expect::kFrameSize;
            if ((before - greeting) % expect::kFrameSize == 0 && frame < frames.size()) frames[frame].firstWrite = i;
            if ((written - greeting) % expect::kFrameSize != 0) continue;
            const std::size_t done = (written - greeting) / expect::kFrameSize - 1;
            if (i + 1 >= events.size() || events[i + 1].what != "delay 20") {
                problem = "no 20 ms pause after the checksum of frame " + std::to_string(done);
                return frames;
            }
            frames[done].pause = i + 1;
            frames[done].replyStart = events[i + 1].at + 20;
        }
        return frames;
    }

    std::string Ended(TransferOutcome outcome, std::size_t readsUsed, std::size_t framesSent,
                      const std::string& why) const {
        if (outcome_ != outcome) return "after " + why + " the run ended in " + OutcomeName(outcome_);
        if (readsUsed != port_.Reads().size()) return "read on after " + why;
        if (WholeFrames() != framesSent || Tail() != 0) return "sent on after " + why;
        return {};
    }

    std::string TimedOut(std::uint32_t start, std::int64_t windowMs, const std::string& what) const {
        const std::uint32_t waited = Elapsed(start, reading_.LastNow());
        if (waited < windowMs) return "gave up on " + what + " after " + std::to_string(waited) + " ms";
        if (waited > windowMs + 1) return "waited " + std::to_string(waited) + " ms for " + what;
        return {};
    }

    std::string Exchange() const {
        const std::vector<Event>& events = trace_.events;
        const std::vector<std::uint8_t>& wire = port_.Wire();
        const std::vector<ReadEvent>& reads = port_.Reads();
        const std::vector<std::string> opening = {"delay 100", "purge", "write 20", "delay 20"};
        if (events.size() < opening.size() ||
            !std::equal(opening.begin(), opening.end(), events.begin(),
                        [](const std::string& name, const Event& e) { return name == e.what; })) {
            return "the greeting did not follow the settling pause and the purge";
        }
        if (events[0].at != origin_) return "time passed before the settling pause";
        if (!std::equal(expect::kGreeting.begin(), expect::kGreeting.end(), wire.begin())) return "a wrong greeting";
        if (!reads.empty() && reads.front().afterEvent < opening.size())
            return "a byte was read before the greeting's pause ended";

        std::string problem;
        const std::vector<FrameRecord> frames = Frames(problem);
        if (!problem.empty()) return problem;
        const std::size_t framesBegin = frames.empty() ? std::numeric_limits<std::size_t>::max() : frames[0].firstWrite;
        auto beforeFrames = [&](std::size_t i) { return i < reads.size() && reads[i].afterEvent <= framesBegin; };

        // The version line, then the ready byte.
        const std::uint32_t versionStart = events[3].at + 20;
        std::size_t next = 0;
        std::string line;
        auto refused = [&](TransferOutcome outcome, const std::string& why) {
            if (!host_.Versions().empty()) return "showed a version line after " + why;
            return Ended(outcome, next, 0, why);
        };
        for (;;) {
            if (!beforeFrames(next)) {
                if (std::string p = TimedOut(versionStart, expect::kVersionWindowMs, "the version line"); !p.empty())
                    return p;
                return refused(TransferOutcome::NoResponse, "no whole version line in its window");
            }
            const ReadEvent& r = reads[next++];
            if (Elapsed(versionStart, r.at) > expect::kVersionWindowMs) {
                return "took a version byte " + std::to_string(Elapsed(versionStart, r.at)) + " ms into its window";
            }
            if (r.value < 0) return refused(TransferOutcome::InvalidVersion, "a failed read in the version line");
            if (r.value == '\r') {
                if (line != expect::kVersion)
                    return refused(TransferOutcome::InvalidVersion, "the version line \"" + line + "\"");
                break;
            }
            if (line.size() == expect::kVersion.size())
                return refused(TransferOutcome::InvalidVersion, "a version line too long");
            line += static_cast<char>(r.value);
        }
        if (host_.Versions() != std::vector<std::string>{expect::kVersion})
            return "the accepted version line was not shown once";

        const std::uint32_t readyStart = reads[next - 1].at;
        if (!beforeFrames(next)) {
            if (std::string p = TimedOut(readyStart, expect::kReadyWindowMs, "the ready byte"); !p.empty()) return p;
            return Ended(TransferOutcome::NoReadyResponse, next, 0, "no ready byte in its window");
        }
        const ReadEvent& ready = reads[next++];
        if (Elapsed(readyStart, ready.at) > expect::kReadyWindowMs) return "took the ready byte after its window";
        if (ready.value != '!') return Ended(TransferOutcome::InvalidReadyResponse, next, 0, "a wrong ready byte");

        return Pages(frames, next);
    }

    // Every frame carries the page that is due, and the reply read after it decides the next one.
    std::string Pages(const std::vector<FrameRecord>& frames, std::size_t next) const {
        const std::vector<std::uint8_t>& wire = port_.Wire();
        const std::vector<ReadEvent>& reads = port_.Reads();
        const unsigned count = host_.Opened() > 0 ? PageCountOf(image_) : 0;
        unsigned page = 0;
        int refusals = 0;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            const std::string name = "frame " + std::to_string(f);
            if (page >= count) return name + " went out after the last page was taken";
            const std::uint8_t* frame = wire.data() + expect::kGreeting.size() + f * expect::kFrameSize;
            if (frame[0] * 256u + frame[1] != page)
                return name + " is numbered " + std::to_string(frame[0] * 256 + frame[1]) + ", not " +
                       std::to_string(page);
            const std::uint8_t* bytes = image_.image.data() + page * 256u;
            if (!std::equal(frame + 2, frame + 258, bytes))
                return name + " does not carry the bytes of page " + std::to_string(page);
            unsigned sum = 0;
            for (int i = 0; i < 256; ++i) sum += bytes[i];
            if (frame[258] != (sum & 0xFF)) return name + " has a wrong checksum";
            const auto& progress = host_.Progress();
            if (f >= progress.size() || progress[f] != std::make_pair(page + 1, count))
                return name + " went out without its progress";

            const std::size_t nextFrame =
                f + 1 < frames.size() ? frames[f + 1].firstWrite : std::numeric_limits<std::size_t>::max();
            if (next == reads.size() || reads[next].afterEvent > nextFrame) {
                if (std::string p = TimedOut(frames[f].replyStart, expect::kReplyWindowMs, "the reply to " + name);
                    !p.empty())
                    return p;
                return Ended(TransferOutcome::NoResponse, next, f + 1, "no reply to " + name);
            }
            const ReadEvent& r = reads[next++];
            if (r.afterEvent <= frames[f].pause)
                return "read the reply to " + name + " before the pause after its checksum";
            if (Elapsed(frames[f].replyStart, r.at) > expect::kReplyWindowMs)
                return "took the reply to " + name + " after its window";
            if (r.value == '!') {
                refusals = 0;
                ++page;
                continue;
            }
            if (r.value == '@' && ++refusals < expect::kRefusalLimit) continue;
            return Ended(TransferOutcome::InvalidReadyResponse, next, f + 1,
                         r.value == '@' ? "a fifth refusal of one page"
                                        : "a reply to " + name + " that is neither taken nor refused");
        }
        if (count > 0 && page == count) {
            if (Tail() != 2 || wire[wire.size() - 2] != 0xFF || wire[wire.size() - 1] != 0xFF) {
                return "no end marker after the last page was taken";
            }
            if (outcome_ != TransferOutcome::Success)
                return std::string("every page was taken, yet the run ended in ") + OutcomeName(outcome_);
            if (next != reads.size()) return "read on after the end marker";
            return {};
        }
        // An image that never opened, or that no page numbers can tell, stops the run before any
        // frame; a page that can't be read stops it on the way.
        const bool sendable = count > 0 && count <= expect::kMaxPageCount;
        const TransferOutcome due = sendable ? TransferOutcome::ImageNotRead : TransferOutcome::ImageNotOpened;
        if (outcome_ != due) {
            return "stopped after " + std::to_string(frames.size()) + " frame(s) with page " + std::to_string(page) +
                   " of " + std::to_string(count) + " due, ending in " + OutcomeName(outcome_);
        }
        return Ended(due, next, frames.size(), sendable ? "the image gave no further page" : "the image can't be sent");
    }

    std::string Bookkeeping() const {
        if (host_.Opened() > 1 || host_.Closed() != host_.Opened() || host_.ImageOpen() ||
            host_.ClosedWithoutOpen() != 0) {
            return "the image was not closed exactly once after it was opened";
        }
        std::int64_t paused = 0;
        for (const Event& e : trace_.events) {
            if (StartsWith(e.what, "delay ")) paused += static_cast<std::int64_t>(Number(e.what));
        }
        const bool success = outcome_ == TransferOutcome::Success;
        const std::int64_t frames = static_cast<std::int64_t>(WholeFrames());
        const std::int64_t pauses = expect::kSettleMs + expect::kAfterGreetingMs +
                                    frames * (expect::kBeforeChecksumMs + expect::kAfterChecksumMs) +
                                    (success ? expect::kAfterEndMarkerMs : 0);
        if (paused != pauses) return "paused " + std::to_string(paused) + " ms in all, not " + std::to_string(pauses);
        const std::int64_t longest =
            pauses + expect::kVersionWindowMs + expect::kReadyWindowMs + frames * expect::kReplyWindowMs + 1;
        if (Elapsed(origin_, reading_.LastNow()) > longest)
            return "the whole run took longer than its pauses and windows allow";
        if (success != update::FailureMessage(outcome_).empty()) return "the outcome has no message of its own";
        return {};
    }

    std::uint32_t origin_;
    ImageSetup image_;
    VirtualClock clock_;
    Trace trace_;
    TransferOutcome outcome_ = TransferOutcome::Success;
    Port port_;
    Host host_;
    ReadingHost reading_;
};

}  // namespace scripted

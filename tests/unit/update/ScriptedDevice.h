// A scripted boot loader on a virtual clock, for driving the conversation without a line.
// The port plays the device: it keeps every byte the program writes, and answers the greeting and
// each complete frame with replies scheduled at virtual times. The host's Now() moves the clock a
// millisecond on every call, so polling loops progress; its Delay moves it by the pause.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scripted {

inline constexpr int kFailedRead = -1;   // queued, but its read gives no byte
inline constexpr int kNothingRead = -2;  // a read that found the queue empty

// One byte the program took off the line, placed among the trace's events.
struct ReadEvent {
    std::uint32_t at;
    int value;               // the byte, kFailedRead or kNothingRead
    std::size_t afterEvent;  // how many trace events came before it
};

struct Reply {
    std::uint32_t afterMs;   // after the trigger (greeting or frame received)
    std::vector<int> bytes;  // byte values, or kFailedRead
};

struct DeviceScript {
    std::vector<Reply> early;       // sent before the greeting, from the start
    std::vector<Reply> toGreeting;  // after the 20 greeting bytes
    std::vector<Reply> toFrames;    // one per frame, in order; frames past the list get "!" after 1 ms
};

inline std::vector<int> Bytes(const std::string& text) { return std::vector<int>(text.begin(), text.end()); }

// One byte of the text every everyMs, the first at firstMs.
inline std::vector<Reply> Trickle(const std::string& text, std::uint32_t firstMs, std::uint32_t everyMs) {
    std::vector<Reply> replies;
    for (std::size_t i = 0; i < text.size(); ++i) {
        replies.push_back({static_cast<std::uint32_t>(firstMs + i * everyMs), {static_cast<unsigned char>(text[i])}});
    }
    return replies;
}

struct VirtualClock {
    std::uint32_t now = 0;
};

struct Event {
    std::uint32_t at;
    std::string what;
};

// What happened on both sides, in order, with the virtual time it happened at.
struct Trace {
    std::vector<Event> events;
    void Add(std::uint32_t at, std::string what) { events.push_back({at, std::move(what)}); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Event& e : events) names.push_back(e.what);
        return names;
    }
};

class Port {
public:
    Port(VirtualClock& clock, Trace& trace, DeviceScript script)
        : clock_(clock), trace_(trace), script_(std::move(script)) {
        Schedule(script_.early);
    }

    bool WriteByte(int value) {
        const std::uint8_t byte = static_cast<std::uint8_t>(value & 0xFF);
        Received(&byte, 1);
        return true;
    }
    bool WriteBytes(const void* data, int count) {
        if (count < 0) return false;
        Received(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count));
        return true;
    }
    bool WriteString(const char* text) {
        Received(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
        return true;
    }
    unsigned long BytesAvailable() {
        Deliver();
        return static_cast<unsigned long>(queue_.size());
    }
    bool PurgeInput() {
        Deliver();
        trace_.Add(clock_.now, "purge");
        queue_.clear();
        return true;
    }
    // As the serial port reads: only what is queued, never waiting.
    unsigned Read(void* buffer, unsigned count) {
        Deliver();
        const unsigned n = std::min<unsigned>(count, static_cast<unsigned>(queue_.size()));
        auto* out = static_cast<std::uint8_t*>(buffer);
        if (n == 0 && count > 0) Took(kNothingRead);
        for (unsigned i = 0; i < n; ++i) {
            const int value = queue_.front();
            queue_.pop_front();
            Took(value);
            if (value == kFailedRead) return 0;
            out[i] = static_cast<std::uint8_t>(value);
        }
        return n;
    }

    // Bytes that arrive at once, as if queued by the driver already.
    void Queue(const std::vector<int>& bytes) { queue_.insert(queue_.end(), bytes.begin(), bytes.end()); }
    std::vector<int> Queued() {
        Deliver();
        return std::vector<int>(queue_.begin(), queue_.end());
    }
    const std::vector<std::uint8_t>& Wire() const { return wire_; }
    const std::vector<ReadEvent>& Reads() const { return reads_; }

private:
    static constexpr std::size_t kGreetingSize = 20;
    static constexpr std::size_t kFrameSize = 259;

    struct Pending {
        std::uint32_t due;
        std::vector<int> bytes;
    };

    void Schedule(const std::vector<Reply>& replies) {
        for (const Reply& r : replies) pending_.push_back({clock_.now + r.afterMs, r.bytes});
        unsorted_ = unsorted_ || !replies.empty();
    }
    // Moves every reply that is due into the queue, in the order they fall due.
    void Deliver() {
        if (unsorted_) {
            std::stable_sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
                return static_cast<std::int32_t>(a.due - b.due) < 0;  // the clock may wrap in between
            });
            unsorted_ = false;
        }
        while (!pending_.empty() && static_cast<std::int32_t>(clock_.now - pending_.front().due) >= 0) {
            queue_.insert(queue_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
            pending_.erase(pending_.begin());
        }
    }
    void Took(int value) { reads_.push_back({clock_.now, value, trace_.events.size()}); }
    void Received(const std::uint8_t* data, std::size_t count) {
        trace_.Add(clock_.now, "write " + std::to_string(count));
        for (std::size_t i = 0; i < count; ++i) {
            wire_.push_back(data[i]);
            React();
        }
    }
    void React() {
        const std::size_t n = wire_.size();
        if (n == kGreetingSize) Schedule(script_.toGreeting);
        if (n > kGreetingSize && (n - kGreetingSize) % kFrameSize == 0) {
            const std::size_t frame = (n - kGreetingSize) / kFrameSize - 1;
            if (frame < script_.toFrames.size()) {
                Schedule({script_.toFrames[frame]});
            } else {
                Schedule({{1, {'!'}}});
            }
        }
    }

    VirtualClock& clock_;
    Trace& trace_;
    DeviceScript script_;
    std::vector<Pending> pending_;
    bool unsorted_ = false;  // a reply was scheduled since the last sort
    std::deque<int> queue_;
    std::vector<std::uint8_t> wire_;
    std::vector<ReadEvent> reads_;
};

struct ImageSetup {
    std::vector<std::uint8_t> image;
    bool opens = true;
    std::optional<unsigned> pageCount = std::nullopt;  // instead of the image's own
    std::optional<unsigned> failingPage = std::nullopt;
};

class Host {
public:
    static constexpr std::uint32_t kStepMs = 1;

    Host(VirtualClock& clock, Trace& trace, ImageSetup setup)
        : clock_(clock), trace_(trace), setup_(std::move(setup)) {}

    std::uint32_t Now() {
        lastNow_ = clock_.now;
        clock_.now += kStepMs;
        return lastNow_;
    }
    void Delay(std::uint32_t ms) {
        trace_.Add(clock_.now, "delay " + std::to_string(ms));
        clock_.now += ms;
    }
    void ShowBootLoaderVersion(const std::string& line) {
        trace_.Add(clock_.now, "version " + line);
        versions_.push_back(line);
    }
    void ShowPageProgress(unsigned page, unsigned pageCount) {
        trace_.Add(clock_.now, "progress " + std::to_string(page) + "/" + std::to_string(pageCount));
        progress_.emplace_back(page, pageCount);
    }
    bool OpenImage(unsigned& pageCount) {
        trace_.Add(clock_.now, "open");
        if (!setup_.opens) return false;
        pageCount = setup_.pageCount.value_or(static_cast<unsigned>(setup_.image.size() / 256));
        open_ = true;
        ++opened_;
        return true;
    }
    bool ReadPage(unsigned index, std::uint8_t (&page)[256]) {
        trace_.Add(clock_.now, "read " + std::to_string(index));
        if (!open_ || setup_.failingPage == index) return false;
        if ((index + 1) * 256u > setup_.image.size()) return false;
        std::memcpy(page, setup_.image.data() + index * 256u, 256);
        return true;
    }
    void CloseImage() {
        trace_.Add(clock_.now, "close");
        if (open_)
            ++closed_;
        else
            ++closedUnopened_;
        open_ = false;
    }

    std::uint32_t LastNow() const { return lastNow_; }
    bool ImageOpen() const { return open_; }
    int Opened() const { return opened_; }
    int Closed() const { return closed_; }
    int ClosedWithoutOpen() const { return closedUnopened_; }
    const std::vector<std::string>& Versions() const { return versions_; }
    const std::vector<std::pair<unsigned, unsigned>>& Progress() const { return progress_; }

private:
    VirtualClock& clock_;
    Trace& trace_;
    ImageSetup setup_;
    std::uint32_t lastNow_ = 0;
    bool open_ = false;
    int opened_ = 0;
    int closed_ = 0;
    int closedUnopened_ = 0;
    std::vector<std::string> versions_;
    std::vector<std::pair<unsigned, unsigned>> progress_;
};

}  // namespace scripted

#include "tools/bootsim/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "tools/bootsim/LineSettings.h"

namespace bootsim {

namespace {

constexpr std::uint8_t kAttention = 0xC0;
constexpr std::uint8_t kPresence = 0xD0;
constexpr std::uint8_t kReady = '!';
constexpr std::uint8_t kRefusal = 0x40;
constexpr std::uint8_t kEndMarker = 0xFF;
constexpr std::size_t kFrameSize = 259;
constexpr std::size_t kPageSize = 256;
constexpr char kGreeting[] = "&%*-GX-REM2-001-2.32";
constexpr std::size_t kGreetingSize = sizeof(kGreeting) - 1;

// While nobody holds the line the master reports a hang-up at once: look again this often.
constexpr std::chrono::milliseconds kHungUpPoll{5};
constexpr int kIdlePollMs = 50;
constexpr std::chrono::milliseconds kVanishGrace{100};

// What the program must leave between the presence byte and its greeting.
constexpr std::chrono::milliseconds kSettle{100};  // presence byte to greeting

// How much shorter than its pause a single gap may look. Bytes reach the master end only when the
// kernel's worker moves them across: on a loaded machine that was mostly within 4 ms even for a
// raised reader, and now and then far later, which judging each pause over the update allows for.
// A reader at normal priority was seen up to 5 ms late of its own.
constexpr std::chrono::microseconds kRaisedSlack{4000};
constexpr std::chrono::microseconds kNormalSlack{8000};
constexpr int kReaderPriority = 50;

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

bool SetFlags(int fd, int statusFlags) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | statusFlags) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Replaces a symlink (dangling or not) by one to target; any other kind of file is left alone.
bool PlaceLink(const std::string& link, const std::string& target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) return false;
    const std::string temporary = link + ".new-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it still points at target: another run may have taken it over.
void RemoveLink(const std::string& link, const std::string& target) {
    if (link.empty()) return;
    char buffer[4096];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    buffer[n] = '\0';
    if (target == buffer) unlink(link.c_str());
}

std::string VersionAnswer(Misbehaviour m) {
    switch (m) {
        case Misbehaviour::WrongVersion: return "GX-REM2-2.31\r!";
        case Misbehaviour::LowerCaseVersion: return "gx-rem2-2.32\r!";
        case Misbehaviour::ShortVersion: return "GX-REM2-2.3\r!";
        case Misbehaviour::LongVersion: return "GX-REM2-2.320\r!";
        case Misbehaviour::LineFeedAfterCarriageReturn: return "GX-REM2-2.32\r\n!";
        case Misbehaviour::NoReadyByte: return "GX-REM2-2.32\r";
        default: return "GX-REM2-2.32\r!";
    }
}

}  // namespace

Simulator::Simulator(Options options) : options_(options) {}

Simulator::~Simulator() { Stop(); }

void Simulator::SetEventSink(EventSink sink) { sink_ = std::move(sink); }

bool Simulator::Start(const std::string& linkPath) {
    if (thread_.joinable() || master_.Valid()) return false;
    if (!OpenLine() || !PlaceLink(linkPath, slavePath_)) {
        Stop();
        return false;
    }
    linkPath_ = linkPath;
    reader_ = std::thread([this] { Read(); });
    thread_ = std::thread([this] { Run(); });
    return true;
}

bool Simulator::OpenLine() {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
    master_ = FileDescriptor(master);
    FileDescriptor slaveEnd(slave);
    // Neither end may leak into a process started meanwhile: a stray slave would hold the line open.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);

    // Raw before anyone opens the slave: every byte value must pass unchanged, with no echo.
    termios settings{};
    if (tcgetattr(slaveEnd.Get(), &settings) != 0) return false;
    cfmakeraw(&settings);
    // Not the device's speed: only a program that sets the line up itself finds it at 38400 baud.
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(slaveEnd.Get(), TCSANOW, &settings) != 0) return false;
    const char* name = ttyname(slaveEnd.Get());
    if (name == nullptr) return false;
    slavePath_ = name;
    // The device must not hold the line itself, or it could never see the program close it.
    slaveEnd.Close();

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    stopRead_ = FileDescriptor(pipeEnds[0]);
    stopWrite_ = FileDescriptor(pipeEnds[1]);
    return SetFlags(master_.Get(), O_NONBLOCK) && SetFlags(stopRead_.Get(), O_NONBLOCK) &&
           SetFlags(stopWrite_.Get(), O_NONBLOCK);
}

void Simulator::Stop() {
    if (thread_.joinable()) {
        const char byte = 1;
        if (write(stopWrite_.Get(), &byte, 1) < 0) {
            // The pipe holds at most this one byte; a full pipe already says stop.
        }
        thread_.join();
    }
    // The device's thread joins the reader itself when it vanishes.
    if (reader_.joinable()) reader_.join();
    master_.Close();
    stopRead_.Close();
    stopWrite_.Close();
    RemoveLink(linkPath_, slavePath_);
    linkPath_.clear();
}

std::string Simulator::SlavePath() const { return slavePath_; }

// --- records ---------------------------------------------------------------------------------------

template <class Change>
void Simulator::Record(Change change, const std::string& event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change(records_);
    }
    changed_.notify_all();
    if (sink_ && !event.empty()) sink_(event);
}

template <class Predicate>
bool Simulator::WaitUntil(std::chrono::milliseconds timeout, Predicate predicate) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(records_); });
}

unsigned Simulator::AttentionBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.attentionBytes;
}
std::vector<Clock::time_point> Simulator::AttentionTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.attentionTimes;
}
unsigned Simulator::PresenceBytesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.presenceBytes;
}
unsigned Simulator::GreetingsOk() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.greetingsOk;
}
unsigned Simulator::GreetingsBad() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.greetingsBad;
}
std::vector<Frame> Simulator::Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.frames;
}
unsigned Simulator::EndMarkers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.endMarkers;
}
std::vector<std::uint8_t> Simulator::LastImage() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.lastImage;
}
std::vector<std::string> Simulator::ProtocolErrors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.protocolErrors;
}
std::vector<LineEvent> Simulator::LineEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.lineEvents;
}
bool Simulator::LineOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.lineOpen;
}
bool Simulator::Vanished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.vanished;
}
std::string Simulator::LineSettings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.lineSettings;
}
Clock::time_point Simulator::EndMarkerTime() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.endMarkerAt;
}
Clock::time_point Simulator::LineClosedTime() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.lineClosedAt;
}
bool Simulator::ReaderRaised() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.readerRaised;
}

bool Simulator::WaitForAttentionBytes(unsigned count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [count](const Records& r) { return r.attentionBytes >= count; });
}
bool Simulator::WaitForGreeting(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [](const Records& r) { return r.greetingsOk + r.greetingsBad > 0; });
}
bool Simulator::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [count](const Records& r) { return r.frames.size() >= count; });
}
bool Simulator::WaitForEndMarker(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [](const Records& r) { return r.endMarkers > 0; });
}
bool Simulator::WaitForLineOpened(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [](const Records& r) { return r.lineOpen; });
}
bool Simulator::WaitForLineClosed(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [](const Records& r) { return !r.lineOpen && !r.lineEvents.empty(); });
}
bool Simulator::WaitForVanished(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [](const Records& r) { return r.vanished; });
}

// --- the reader -------------------------------------------------------------------------------------

// Above the program's busy waits, the X server and the Wine server, so that a byte is stamped when
// it arrives and not when the machine gets round to it.
void Simulator::RaiseReader() {
    sched_param priority{};
    priority.sched_priority = kReaderPriority;
    const int refused = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    slack_ = refused == 0 ? Clock::duration(kRaisedSlack) : Clock::duration(kNormalSlack);
    Record([refused](Records& r) { r.readerRaised = refused == 0; },
           refused == 0 ? ""
                        : "reader at normal priority (" + std::string(std::strerror(refused)) +
                              "): pauses judged with " + Milliseconds(kNormalSlack) + " of slack");
}

void Simulator::Hand(Arrival arrival) {
    {
        std::lock_guard<std::mutex> lock(arrivalsMutex_);
        arrivals_.push_back(std::move(arrival));
    }
    arrivalsChanged_.notify_one();
}

// Reads and stamps, and does nothing else: the device's pauses and answers are on the other thread.
void Simulator::Read() {
    RaiseReader();
    bool open = false;
    auto note = [&](bool nowOpen, Clock::time_point at) {
        if (nowOpen == open) return;
        open = nowOpen;
        Hand({nowOpen ? Arrival::Kind::Opened : Arrival::Kind::Closed, {}, at, at, {}});
    };
    std::uint8_t buffer[1024];
    for (;;) {
        pollfd fds[2] = {{master_.Get(), POLLIN, 0}, {stopRead_.Get(), POLLIN, 0}};
        const int ready = poll(fds, 2, kIdlePollMs);
        const Clock::time_point at = Clock::now();
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) break;
        // What the program wrote just before closing is still there to read after the hang-up.
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = read(master_.Get(), buffer, sizeof buffer);
            if (n > 0) {
                note(true, at);
                Arrival bytes{Arrival::Kind::Bytes, std::vector<std::uint8_t>(buffer, buffer + n), at, at, {}};
                if (options_.pacedLine) {
                    bytes.byteTime = LineByteTime();
                    bytes.landsAt = toDevice_.Carry(at, bytes.bytes.size(), bytes.byteTime);
                }
                Hand(std::move(bytes));
                continue;
            }
        }
        // Never spin on a line that reports only trouble: at this priority that would starve the machine.
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            note(false, at);
            if (PauseOrStop(kHungUpPoll)) break;
            continue;
        }
        note(true, at);
    }
    {
        std::lock_guard<std::mutex> lock(arrivalsMutex_);
        readerDone_ = true;
    }
    arrivalsChanged_.notify_one();
}

// --- the device's thread ---------------------------------------------------------------------------

// False once the reader has ended and everything it handed over has been taken.
bool Simulator::NextArrival(Arrival& arrival) {
    std::unique_lock<std::mutex> lock(arrivalsMutex_);
    arrivalsChanged_.wait(lock, [this] { return !arrivals_.empty() || readerDone_; });
    if (arrivals_.empty()) return false;
    arrival = std::move(arrivals_.front());
    arrivals_.pop_front();
    return true;
}

void Simulator::Run() {
    Arrival arrival;
    while (master_.Valid() && NextArrival(arrival)) {
        if (arrival.kind != Arrival::Kind::Bytes) {
            NoteLine(arrival.kind == Arrival::Kind::Opened, arrival.at);
            continue;
        }
        NoteLine(true, arrival.at);
        for (std::size_t i = 0; i < arrival.bytes.size() && master_.Valid(); ++i) {
            // The device sees a byte only once the cable has brought it.
            const Clock::time_point landed = arrival.landsAt + arrival.byteTime * static_cast<Clock::rep>(i);
            if (options_.pacedLine && PauseUntil(landed)) return;
            Feed(arrival.bytes[i], arrival.at, landed);
        }
    }
}

// True when asked to stop during the pause; never returns before the pause is over otherwise.
bool Simulator::PauseOrStop(std::chrono::milliseconds pause) { return PauseUntil(Clock::now() + pause); }

// To the microsecond: a paced line waits a quarter of a millisecond between bytes.
bool Simulator::PauseUntil(Clock::time_point end) {
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= end) return false;
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - now).count();
        const timespec wait = {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        pollfd stop = {stopRead_.Get(), POLLIN, 0};
        const int ready = ppoll(&stop, 1, &wait, nullptr);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

void Simulator::NoteLine(bool open, Clock::time_point at) {
    if (open == lineOpen_) return;
    lineOpen_ = open;
    // A program that lets the line go has given up this update; the next one starts afresh.
    if (!open) ResetConversation();
    settingsChecked_ = false;
    Record(
        [open, at](Records& r) {
            r.lineOpen = open;
            r.lineEvents.push_back(open ? LineEvent::Opened : LineEvent::Closed);
            if (!open) r.lineClosedAt = at;
        },
        open ? "line opened" : "line closed");
}

void Simulator::ResetConversation() {
    JudgePauses();
    phase_ = Phase::AwaitingAttention;
    cycleAttentions_ = 0;
    greeting_.clear();
    frame_.clear();
    expectedPage_ = 0;
    refusalsGiven_ = 0;
    image_.clear();
    attentionsAfterPresence_ = 0;
    answered_ = false;
    frameSeen_ = false;
}

void Simulator::ProtocolError(const std::string& text) {
    Record([&text](Records& r) { r.protocolErrors.push_back(text); }, "protocol error: " + text);
}

// A gap the program left shorter than the pause it owes, with both figures: for the pause that
// comes once an update, where the line's delay is all the slack there is.
void Simulator::TooSoon(const std::string& what, const std::string& since, Clock::duration gap,
                        std::chrono::milliseconds least) {
    if (gap + slack_ >= least) return;
    ProtocolError(what + " came " + Milliseconds(gap) + " after " + since + ", less than " + Milliseconds(least));
}

void Simulator::Tally(PauseTally& pause, Clock::duration gap) { pause.gaps.push_back(gap); }

// At the end of an update, however it ended, each pause over all of its frames.
void Simulator::JudgePauses() {
    for (PauseTally* pause : {&afterNumber_, &afterData_, &afterChecksum_}) {
        const std::string error = JudgePause(pause->rule, pause->gaps, slack_);
        if (!error.empty()) ProtocolError(error);
        pause->gaps.clear();
    }
}

// `at` is when the program wrote the byte, `landed` when it reached the device: the same moment
// unless the line is paced.
void Simulator::Feed(std::uint8_t byte, Clock::time_point at, Clock::time_point landed) {
    if (!settingsChecked_) CheckLineSettings();
    switch (phase_) {
        case Phase::AwaitingAttention: OnAttentionByte(byte, at, landed); break;
        case Phase::AwaitingGreeting: OnGreetingByte(byte, at); break;
        case Phase::AwaitingFrames: OnFrameByte(byte, at, landed); break;
        case Phase::Ignoring: break;
    }
}

// Read back once the program talks, when its settings are surely in place. A pseudo-terminal
// keeps the speed, the stop bits and the flow control it is given; it always reports 8 data bits
// and no parity, whatever was asked.
void Simulator::CheckLineSettings() {
    settingsChecked_ = true;
    termios settings{};
    if (tcgetattr(master_.Get(), &settings) != 0) return;
    const std::string seen = DescribeLine(settings);
    Record([&seen](Records& r) { r.lineSettings = seen; }, "line at " + seen);
    if (!LineAsWanted(settings)) ProtocolError("line at " + seen + "; the device talks " + WantedLine());
}

void Simulator::OnAttentionByte(std::uint8_t byte, Clock::time_point at, Clock::time_point landed) {
    if (byte != kAttention) {
        ProtocolError("unexpected byte " + Hex(byte) + " before presence");
        return;
    }
    const unsigned seen = ++cycleAttentions_;
    Record(
        [at](Records& r) {
            ++r.attentionBytes;
            r.attentionTimes.push_back(at);
        },
        "attention " + std::to_string(seen));
    if (options_.misbehaviour == Misbehaviour::SilentToAttention ||
        (seen < options_.attentionsBeforePresence && !TakeResetPress())) {
        if (!options_.noiseBeforePresence.empty()) Send(options_.noiseBeforePresence);
        return;
    }
    phase_ = Phase::AwaitingGreeting;
    greeting_.clear();
    attentionsAfterPresence_ = 0;
    if (PauseUntil(landed + options_.presenceDelay)) return;
    Record([](Records& r) { ++r.presenceBytes; }, "presence");
    Send(options_.noiseBeforePresence + std::string(1, static_cast<char>(kPresence)) + options_.bytesAfterPresence,
         options_.noiseBeforePresence.size(), &presenceAt_);
}

void Simulator::OnGreetingByte(std::uint8_t byte, Clock::time_point at) {
    // The program sends one more attention byte on the tick that finds the presence byte, and no
    // more: the next tick must not come, the transfer has begun.
    if (greeting_.empty() && byte == kAttention) {
        const unsigned after = ++attentionsAfterPresence_;
        Record(
            [at](Records& r) {
                ++r.attentionBytes;
                r.attentionTimes.push_back(at);
            },
            "attention " + std::to_string(++cycleAttentions_));
        if (after == 2) ProtocolError("a second attention byte after the presence byte; one is the most");
        return;
    }
    if (greeting_.empty()) TooSoon("greeting", "the presence byte went out", at - presenceAt_, kSettle);
    greeting_ += static_cast<char>(byte);
    if (greeting_.size() < kGreetingSize) return;
    if (greeting_ != kGreeting) {
        Record(
            [](Records& r) {
                ++r.greetingsBad;
                r.protocolErrors.push_back("bad greeting");
            },
            "protocol error: bad greeting");
        ResetConversation();
        return;
    }
    Record([](Records& r) { ++r.greetingsOk; }, "greeting ok");
    AnswerGreeting();
}

void Simulator::AnswerGreeting() {
    switch (options_.misbehaviour) {
        case Misbehaviour::SilentToGreeting: phase_ = Phase::Ignoring; return;
        case Misbehaviour::FloodAfterGreeting:
            phase_ = Phase::Ignoring;
            if (PauseOrStop(options_.replyTime)) return;
            Send(std::string(options_.floodBytes, 'U'));
            Record([](Records&) {}, "flood of " + std::to_string(options_.floodBytes) + " bytes");
            return;
        default: break;
    }
    if (PauseOrStop(options_.replyTime)) return;
    phase_ = Phase::AwaitingFrames;
    frame_.clear();
    expectedPage_ = 0;
    refusalsGiven_ = 0;
    image_.clear();
    std::string answer = VersionAnswer(options_.misbehaviour);
    const bool withReady = !answer.empty() && answer.back() == static_cast<char>(kReady);
    if (withReady && options_.readyDelay.count() > 0) {
        answer.pop_back();
        if (!Send(answer)) return;
        Record([](Records&) {}, "version line");
        if (PauseOrStop(options_.readyDelay)) return;
        lastAnswerAt_ = Clock::now();
        answered_ = true;
        if (Send(std::string(1, static_cast<char>(kReady)), 0, &lastAnswerAt_)) Record([](Records&) {}, "ready");
        return;
    }
    lastAnswerAt_ = Clock::now();
    answered_ = withReady;
    if (Send(answer, answer.size() - 1, &lastAnswerAt_)) Record([](Records&) {}, "version line");
}

void Simulator::OnFrameByte(std::uint8_t byte, Clock::time_point at, Clock::time_point landed) {
    frame_.push_back(byte);
    switch (frame_.size()) {
        case 1: frameStartAt_ = at; return;
        case 2: numberAt_ = at; break;
        case 3: dataAt_ = at; break;
        case 2 + kPageSize: dataEndAt_ = at; break;
        default: break;
    }
    // No frame starts with 0xFF 0xFF: page numbers never come near it.
    if (frame_.size() == 2) {
        const bool endMarker = frame_[0] == kEndMarker && frame_[1] == kEndMarker;
        CheckFrameStart(endMarker);
        if (endMarker) OnEndMarker();
        return;
    }
    if (frame_.size() == 3) {
        Tally(afterNumber_, dataAt_ - numberAt_);
    }
    if (frame_.size() == kFrameSize) OnFrame(at, landed);
}

// A frame or the end marker may only follow the answer to what came before, and the pause after
// that frame's checksum.
void Simulator::CheckFrameStart(bool endMarker) {
    const std::string what = endMarker ? std::string("end marker")
                                       : "page " + std::to_string(static_cast<unsigned>(frame_[0]) << 8 | frame_[1]);
    if (!answered_ || frameStartAt_ < lastAnswerAt_) {
        ProtocolError(what + " came before " +
                      (frameSeen_ ? "the answer to page " + std::to_string(lastPage_) : std::string("the ready byte")) +
                      " went out");
    }
    if (frameSeen_) Tally(afterChecksum_, frameStartAt_ - lastChecksumAt_);
}

void Simulator::OnEndMarker() {
    const std::vector<std::uint8_t> image = image_;
    const Clock::time_point at = frameStartAt_;
    ResetConversation();
    Record(
        [&image, at](Records& r) {
            ++r.endMarkers;
            r.lastImage = image;
            r.endMarkerAt = at;
        },
        "end marker: image of " + std::to_string(image.size()) + " bytes");
}

void Simulator::OnFrame(Clock::time_point checksumAt, Clock::time_point checksumLanded) {
    Frame frame;
    frame.page = static_cast<unsigned>(frame_[0]) << 8 | frame_[1];
    std::memcpy(frame.data.data(), frame_.data() + 2, kPageSize);
    frame.checksum = frame_[2 + kPageSize];
    frame.numberAt = numberAt_;
    frame.dataAt = dataAt_;
    frame.dataEndAt = dataEndAt_;
    frame.checksumAt = checksumAt;
    frame_.clear();
    Tally(afterData_, frame.checksumAt - frame.dataEndAt);
    frameSeen_ = true;
    lastPage_ = frame.page;
    lastChecksumAt_ = frame.checksumAt;
    unsigned sum = 0;
    for (std::uint8_t b : frame.data) sum += b;
    frame.checksumOk = static_cast<std::uint8_t>(sum & 0xFF) == frame.checksum;
    frame.inOrder = frame.page == expectedPage_;

    // The reply time counts from the checksum's arrival, however late this thread got to it.
    std::chrono::milliseconds delay = options_.replyTime;
    const std::uint8_t reply = Judge(frame, delay);
    if (PauseUntil(checksumLanded + delay)) return;
    if (reply == kReady && TakeHold(frame.page) && AwaitRelease()) return;
    if (AwaitCable(1)) return;
    // A late answer to a program that has already let the line go would greet its next update.
    const bool lineThere = !LineHungUp();
    frame.reply = lineThere ? reply : 0;
    // Taken before the write: a program that waits for the answer can only send after this.
    frame.replyAt = Clock::now();
    lastAnswerAt_ = frame.replyAt;

    // Recorded before it is answered: whoever reads the answer finds the frame on the record.
    std::string event = "frame " + std::to_string(frame.page) + (frame.checksumOk ? " checksum ok" : " checksum bad") +
                        (frame.inOrder ? "" : " out of order") + " reply " + (lineThere ? Hex(reply) : "none");
    Record(
        [&frame](Records& r) {
            if (!frame.checksumOk) r.protocolErrors.push_back("bad checksum on page " + std::to_string(frame.page));
            if (!frame.inOrder) r.protocolErrors.push_back("page " + std::to_string(frame.page) + " out of order");
            r.frames.push_back(frame);
        },
        event);
    const bool sent = lineThere && Write(std::string(1, static_cast<char>(reply)));
    if (lineThere && !sent) Record([](Records& r) { r.frames.back().reply = 0; }, "reply lost with the line");

    if (sent && reply == kReady && options_.misbehaviour == Misbehaviour::VanishAfterPage &&
        frame.page == options_.page) {
        Vanish();
    }
}

// The answer to a frame, and how long the device takes to give it. A taken page joins the image.
std::uint8_t Simulator::Judge(Frame& frame, std::chrono::milliseconds& delay) {
    if (!frame.inOrder || !frame.checksumOk) return kRefusal;
    const bool targeted = frame.page == options_.page;
    if (targeted && options_.misbehaviour == Misbehaviour::RefusePage && refusalsGiven_ < options_.refusals) {
        ++refusalsGiven_;
        return kRefusal;
    }
    if (targeted && options_.misbehaviour == Misbehaviour::WrongReplyToPage) return options_.wrongReply;
    if (targeted && options_.misbehaviour == Misbehaviour::SlowReplyToPage) delay = options_.slowReply;
    image_.resize(static_cast<std::size_t>(frame.page + 1) * kPageSize);
    std::memcpy(image_.data() + static_cast<std::size_t>(frame.page) * kPageSize, frame.data.data(), kPageSize);
    ++expectedPage_;
    refusalsGiven_ = 0;
    return kReady;
}

// --- the case's hand on the device -----------------------------------------------------------------

void Simulator::PressReset() {
    std::lock_guard<std::mutex> lock(mutex_);
    resetPressed_ = true;
}

bool Simulator::TakeResetPress() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(resetPressed_, false);
}

void Simulator::HoldAnswerTo(unsigned page) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdArmed_ = page;
}

void Simulator::ReleaseHeldAnswer() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.heldAnswer.reset();
}

bool Simulator::WaitForHeldAnswer(unsigned page, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [page](const Records& r) { return r.heldAnswer == page; });
}

// True when the answer to this page is now held back, which disarms the hold.
bool Simulator::TakeHold(unsigned page) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (holdArmed_ != page) return false;
        holdArmed_.reset();
    }
    Record([page](Records& r) { r.heldAnswer = page; }, "answer to page " + std::to_string(page) + " held");
    return true;
}

// Until the case lets the held answer go; true when the device is stopped first.
bool Simulator::AwaitRelease() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!records_.heldAnswer) return false;
        }
        if (PauseOrStop(std::chrono::milliseconds(1))) return true;
    }
}

bool Simulator::LineHungUp() const {
    pollfd line = {master_.Get(), POLLOUT, 0};
    return poll(&line, 1, 0) > 0 && (line.revents & POLLHUP) != 0;
}

// The time of one byte at the speed the program set, read back from the line.
Clock::duration Simulator::LineByteTime() const {
    termios settings{};
    if (tcgetattr(master_.Get(), &settings) != 0) return Clock::duration::zero();
    return ByteTime(BaudRate(settings));
}

// On a paced line, until `bytes` handed to the cable now have crossed it; true when stopped first.
bool Simulator::AwaitCable(std::size_t bytes) {
    if (!options_.pacedLine || bytes == 0) return false;
    const Clock::duration byteTime = LineByteTime();
    const Clock::time_point first = toProgram_.Carry(Clock::now(), bytes, byteTime);
    return PauseUntil(first + byteTime * static_cast<Clock::rep>(bytes - 1));
}

// All of the bytes, at the cable's pace on a paced line; `markAt` gets the moment just before byte
// `mark` was put on the program's end. False when the line goes or the device is stopped first.
bool Simulator::Send(const std::string& bytes, std::size_t mark, Clock::time_point* markAt) {
    if (!options_.pacedLine) {
        if (markAt != nullptr) *markAt = Clock::now();
        return Write(bytes);
    }
    // Every byte of one write is handed to the cable at once; a late wake-up here delays one
    // byte, not all that follow it.
    const Clock::duration byteTime = LineByteTime();
    const Clock::time_point first = toProgram_.Carry(Clock::now(), bytes.size(), byteTime);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (PauseUntil(first + byteTime * static_cast<Clock::rep>(i))) return false;
        if (i == mark && markAt != nullptr) *markAt = Clock::now();
        if (!Write(bytes.substr(i, 1))) return false;
    }
    return true;
}

// All of the bytes at once, waiting while the line's buffer is full; false when the line goes or
// the device is stopped first.
bool Simulator::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        if (LineHungUp() || PauseOrStop(std::chrono::milliseconds(2))) return false;
    }
    return true;
}

void Simulator::Vanish() {
    // Long enough for the program to read the last answer: a hang-up discards what is unread.
    if (PauseOrStop(kVanishGrace)) return;
    // The reader ends first: it must never poll a line that is being closed under it.
    const char byte = 1;
    if (write(stopWrite_.Get(), &byte, 1) < 0) {
        // A full pipe already says stop.
    }
    if (reader_.joinable()) reader_.join();
    master_.Close();
    RemoveLink(linkPath_, slavePath_);
    linkPath_.clear();
    Record([](Records& r) { r.vanished = true; }, "vanished");
}

}  // namespace bootsim

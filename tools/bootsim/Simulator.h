// A stand-in for the device's boot loader on a pseudo-terminal, reached through a symlink that a
// test points a COM port at. A thread plays the device: it answers attention bytes with the
// presence byte, checks the greeting, sends the version line and the ready byte, takes the frames
// and acknowledges them, and on the end marker keeps the assembled image and waits for the next
// update. It can be told to misbehave in each way a real device might, and records what it saw.
//
// It also holds the program to its side of the line: the line settings, one attention byte after
// the presence byte, and every pause and window the program must keep. A reader thread of its own,
// at raised priority where the system allows it, stamps each byte's arrival, so nothing the device
// does (its pauses, its answers) makes a byte look later, and a gap shorter, than it was.
//
// A pseudo-terminal carries bytes at once. On a paced line the device keeps a cable's pace both
// ways at the speed the program set: it sees each byte the program wrote only when the byte would
// have arrived, ten bits after the one before it, and what it sends is written one byte at a time
// as the cable would deliver it. The program's pauses are still judged from when it wrote.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/bootsim/Cable.h"
#include "tools/bootsim/FileDescriptor.h"
#include "tools/bootsim/PauseJudge.h"

namespace bootsim {

enum class Misbehaviour {
    None,
    SilentToAttention,            // never answers the attention byte
    SilentToGreeting,             // answers the attention byte, then never the greeting
    WrongVersion,                 // "GX-REM2-2.31"
    LowerCaseVersion,             // "gx-rem2-2.32"
    ShortVersion,                 // "GX-REM2-2.3"
    LongVersion,                  // "GX-REM2-2.320"
    LineFeedAfterCarriageReturn,  // version line, CR, LF, then "!"
    NoReadyByte,                  // version line and CR, no "!"
    RefusePage,                   // answers page `page` with 0x40 `refusals` times, then "!"
    WrongReplyToPage,             // answers page `page` with `wrongReply`
    SlowReplyToPage,              // answers page `page` only after `slowReply`
    FloodAfterGreeting,           // answers the greeting with `floodBytes` bytes and no CR
    VanishAfterPage,              // acknowledges page `page`, then closes the line and the link
};

struct Options {
    unsigned attentionsBeforePresence = 2;  // stands in for the user pressing reset
    std::chrono::milliseconds replyTime{1};
    Misbehaviour misbehaviour = Misbehaviour::None;
    unsigned page = 0;  // page number as on the wire, for the page modes
    unsigned refusals = 1;
    std::uint8_t wrongReply = 'X';
    std::chrono::milliseconds slowReply{3500};
    std::size_t floodBytes = 4096;

    // A well-behaved device may still say more than the protocol needs; these put the program's
    // purge and windows to work.
    std::string noiseBeforePresence;  // after each unanswered attention byte and before the presence byte
    std::string bytesAfterPresence;   // in the same write, right after the presence byte
    std::chrono::milliseconds readyDelay{
        0};  // above 0: the ready byte as its own write this long after the version line
    // The presence byte this long after the attention byte that earns it: just before the program's
    // next tick, so that the program's settling pause is all that stands between it and the greeting.
    std::chrono::milliseconds presenceDelay{0};
    // Both ways at a cable's pace, ten bits a byte at the speed read back from the line.
    bool pacedLine = false;
};

using Clock = std::chrono::steady_clock;

struct Frame {
    unsigned page = 0;
    std::array<std::uint8_t, 256> data{};
    std::uint8_t checksum = 0;
    bool checksumOk = false;
    bool inOrder = false;    // the page the device expected next
    std::uint8_t reply = 0;  // what the device answered; 0 when the line went before the answer
    // When the program wrote the page number's last byte, the first and the last data byte and the
    // checksum (on a paced line each reaches the device later), and the moment just before the
    // answer was put on the program's end of the line.
    Clock::time_point numberAt, dataAt, dataEndAt, checksumAt, replyAt;
};

enum class LineEvent { Opened, Closed };

class Simulator {
public:
    using EventSink = std::function<void(const std::string&)>;

    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // One line of text per event, from the device's thread, outside every lock. Set before Start.
    void SetEventSink(EventSink sink);

    // Opens the pseudo-terminal, points linkPath at its slave (replacing a link already there, never
    // another kind of file) and starts the device. False when any of it fails; nothing is left then.
    bool Start(const std::string& linkPath);
    // Ends the device, closes the line and removes the link if it still points here. Idempotent.
    void Stop();

    std::string SlavePath() const;

    // What the device saw, safe from any thread.
    unsigned AttentionBytes() const;
    std::vector<Clock::time_point> AttentionTimes() const;
    unsigned PresenceBytesSent() const;
    unsigned GreetingsOk() const;
    unsigned GreetingsBad() const;
    std::vector<Frame> Frames() const;
    unsigned EndMarkers() const;
    std::vector<std::uint8_t> LastImage() const;  // the last complete image, empty before one
    std::vector<std::string> ProtocolErrors() const;
    std::vector<LineEvent> LineEvents() const;
    bool LineOpen() const;
    bool Vanished() const;
    std::string LineSettings() const;          // as last read when the program started talking
    Clock::time_point EndMarkerTime() const;   // arrival of the last end marker's first byte
    Clock::time_point LineClosedTime() const;  // the last time the program let the line go
    // False when the reader could not be raised above the program and runs at normal priority; its
    // stamps may then be a few milliseconds late, and the pauses are judged with that much slack.
    bool ReaderRaised() const;

    // Each true as soon as its condition holds, false when the time-out passes first.
    bool WaitForAttentionBytes(unsigned count, std::chrono::milliseconds timeout) const;
    bool WaitForGreeting(std::chrono::milliseconds timeout) const;
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForEndMarker(std::chrono::milliseconds timeout) const;
    bool WaitForLineOpened(std::chrono::milliseconds timeout) const;  // open now
    bool WaitForLineClosed(std::chrono::milliseconds timeout) const;  // closed now, after an open
    bool WaitForVanished(std::chrono::milliseconds timeout) const;

    // The user presses reset now: the next attention byte is answered, however few came before it
    // (a device silent to attention stays silent).
    void PressReset();

    // The next time the device takes `page` (in order, checksum good), it holds back its answer
    // until ReleaseHeldAnswer, so a case acts while the program waits for it, for as long as the
    // case needs and no longer. One page is armed at a time; arming another replaces it.
    void HoldAnswerTo(unsigned page);
    // The held answer goes out now; nothing happens while no answer is held.
    void ReleaseHeldAnswer();
    // True as soon as the device holds back its answer to `page`.
    bool WaitForHeldAnswer(unsigned page, std::chrono::milliseconds timeout) const;

private:
    enum class Phase { AwaitingAttention, AwaitingGreeting, AwaitingFrames, Ignoring };

    // One of the pauses the program keeps around every frame, with the gaps of one update.
    struct PauseTally {
        PauseRule rule;
        std::vector<Clock::duration> gaps;
    };

    // What the reader hands the device: bytes with the moment the program wrote them and the
    // moment the first of them reaches the device, the others following a byte time apart; or the
    // line opened or let go.
    struct Arrival {
        enum class Kind { Bytes, Opened, Closed } kind = Kind::Bytes;
        std::vector<std::uint8_t> bytes;
        Clock::time_point at;
        Clock::time_point landsAt;
        Clock::duration byteTime{};
    };

    struct Records {
        unsigned attentionBytes = 0;
        std::vector<Clock::time_point> attentionTimes;
        unsigned presenceBytes = 0;
        unsigned greetingsOk = 0;
        unsigned greetingsBad = 0;
        std::vector<Frame> frames;
        unsigned endMarkers = 0;
        std::vector<std::uint8_t> lastImage;
        std::vector<std::string> protocolErrors;
        std::vector<LineEvent> lineEvents;
        bool lineOpen = false;
        bool vanished = false;
        std::string lineSettings;
        Clock::time_point endMarkerAt;
        Clock::time_point lineClosedAt;
        bool readerRaised = false;
        std::optional<unsigned> heldAnswer;  // the page whose answer is held back now
    };

    template <class Predicate>
    bool WaitUntil(std::chrono::milliseconds timeout, Predicate predicate) const;
    template <class Change>
    void Record(Change change, const std::string& event);

    bool OpenLine();
    void Read();
    void RaiseReader();
    void Hand(Arrival arrival);
    bool NextArrival(Arrival& arrival);
    void Run();
    bool PauseOrStop(std::chrono::milliseconds pause);
    bool PauseUntil(Clock::time_point end);
    bool TakeResetPress();
    bool TakeHold(unsigned page);
    bool AwaitRelease();
    void NoteLine(bool open, Clock::time_point at);
    void ResetConversation();
    void Feed(std::uint8_t byte, Clock::time_point at, Clock::time_point landed);
    void CheckLineSettings();
    void OnAttentionByte(std::uint8_t byte, Clock::time_point at, Clock::time_point landed);
    void OnGreetingByte(std::uint8_t byte, Clock::time_point at);
    void AnswerGreeting();
    void OnFrameByte(std::uint8_t byte, Clock::time_point at, Clock::time_point landed);
    void CheckFrameStart(bool endMarker);
    void OnEndMarker();
    void OnFrame(Clock::time_point checksumAt, Clock::time_point checksumLanded);
    std::uint8_t Judge(Frame& frame, std::chrono::milliseconds& delay);
    Clock::duration LineByteTime() const;
    bool AwaitCable(std::size_t bytes);
    bool Send(const std::string& bytes, std::size_t mark = 0, Clock::time_point* markAt = nullptr);
    bool Write(const std::string& bytes);
    bool LineHungUp() const;
    void Vanish();
    void TooSoon(const std::string& what, const std::string& since, Clock::duration gap,
                 std::chrono::milliseconds least);
    static void Tally(PauseTally& pause, Clock::duration gap);
    void JudgePauses();
    void ProtocolError(const std::string& text);

    const Options options_;
    EventSink sink_;
    std::string linkPath_;
    std::string slavePath_;
    FileDescriptor master_;
    FileDescriptor stopRead_;
    FileDescriptor stopWrite_;
    std::thread thread_;
    std::thread reader_;

    // Between the reader and the device's thread.
    std::mutex arrivalsMutex_;
    std::condition_variable arrivalsChanged_;
    std::deque<Arrival> arrivals_;
    bool readerDone_ = false;
    Clock::duration slack_{};  // set by the reader before it hands over anything
    Cable toDevice_;           // the reader's only

    // The conversation, touched by the device's thread only.
    Phase phase_ = Phase::AwaitingAttention;
    unsigned cycleAttentions_ = 0;
    std::string greeting_;
    std::vector<std::uint8_t> frame_;
    unsigned expectedPage_ = 0;
    unsigned refusalsGiven_ = 0;
    std::vector<std::uint8_t> image_;
    bool lineOpen_ = false;
    bool settingsChecked_ = false;
    Cable toProgram_;
    Clock::time_point presenceAt_;  // just before the presence byte reached the program's end
    unsigned attentionsAfterPresence_ = 0;
    Clock::time_point lastAnswerAt_;    // just before the ready byte or the last page's answer reached the program's end
    bool answered_ = false;             // the ready byte has gone out in this update
    Clock::time_point lastChecksumAt_;  // when the program wrote the last frame's checksum
    bool frameSeen_ = false;            // a frame has been taken in this update
    unsigned lastPage_ = 0;
    Clock::time_point frameStartAt_, numberAt_, dataAt_, dataEndAt_;
    // Between two writes of a frame the reader's stamps of the write that follows at once are seen
    // up to a few tenths of a millisecond early, which a millisecond covers. The gap after the
    // checksum also holds the wait for the answer and the program's work on its next page (a
    // millisecond or more, a repaint on some pages): its lower quartile must reach the pause itself.
    PauseTally afterNumber_{
        {"data", "its page number", std::chrono::milliseconds(20), std::chrono::milliseconds(1)}, {}};
    PauseTally afterData_{{"checksum", "its data", std::chrono::milliseconds(10), std::chrono::milliseconds(1)}, {}};
    PauseTally afterChecksum_{{"the next frame or the end marker", "the checksum before it",
                               std::chrono::milliseconds(20), std::chrono::milliseconds(0), 25},
                              {}};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Records records_;
    std::optional<unsigned> holdArmed_;  // under mutex_, as the one below
    bool resetPressed_ = false;
};

}  // namespace bootsim

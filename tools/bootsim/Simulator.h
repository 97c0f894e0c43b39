// A stand-in for the device's boot loader on a pseudo-terminal, reached through a symlink that a
// test points a COM port at. A thread plays the device: it answers attention bytes with the
// presence byte, checks the greeting, sends the version line and the ready byte, takes the frames
// and acknowledges them, and on the end marker keeps the assembled image and waits for the next
// update. It can be told to misbehave in each way a real device might, and records what it saw.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/bootsim/FileDescriptor.h"

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
};

struct Frame {
  unsigned page = 0;
  std::array<std::uint8_t, 256> data{};
  std::uint8_t checksum = 0;
  bool checksumOk = false;
  bool inOrder = false;     // the page the device expected next
  std::uint8_t reply = 0;   // what the device answered; 0 when the line went before the answer
};

enum class LineEvent { Opened, Closed };

using Clock = std::chrono::steady_clock;

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

  // Each true as soon as its condition holds, false when the time-out passes first.
  bool WaitForAttentionBytes(unsigned count, std::chrono::milliseconds timeout) const;
  bool WaitForGreeting(std::chrono::milliseconds timeout) const;
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
  bool WaitForEndMarker(std::chrono::milliseconds timeout) const;
  bool WaitForLineOpened(std::chrono::milliseconds timeout) const;  // open now
  bool WaitForLineClosed(std::chrono::milliseconds timeout) const;  // closed now, after an open
  bool WaitForVanished(std::chrono::milliseconds timeout) const;

 private:
  enum class Phase { AwaitingAttention, AwaitingGreeting, AwaitingFrames, Ignoring };

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
  };

  template <class Predicate>
  bool WaitUntil(std::chrono::milliseconds timeout, Predicate predicate) const;
  template <class Change>
  void Record(Change change, const std::string& event);

  bool OpenLine();
  void Run();
  bool PauseOrStop(std::chrono::milliseconds pause);
  void NoteLine(bool open);
  void ResetConversation();
  void Feed(std::uint8_t byte);
  void OnAttentionByte(std::uint8_t byte);
  void OnGreetingByte(std::uint8_t byte);
  void AnswerGreeting();
  void OnFrameByte(std::uint8_t byte);
  void OnEndMarker();
  void OnFrame();
  std::uint8_t Judge(Frame& frame, std::chrono::milliseconds& delay);
  bool Send(const std::string& bytes);
  bool LineHungUp() const;
  void Vanish();

  const Options options_;
  EventSink sink_;
  std::string linkPath_;
  std::string slavePath_;
  FileDescriptor master_;
  FileDescriptor stopRead_;
  FileDescriptor stopWrite_;
  std::thread thread_;

  // The conversation, touched by the device's thread only.
  Phase phase_ = Phase::AwaitingAttention;
  unsigned cycleAttentions_ = 0;
  std::string greeting_;
  std::vector<std::uint8_t> frame_;
  unsigned expectedPage_ = 0;
  unsigned refusalsGiven_ = 0;
  std::vector<std::uint8_t> image_;
  bool lineOpen_ = false;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Records records_;
};

}  // namespace bootsim

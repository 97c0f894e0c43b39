// Whether the program kept one of its frame pauses over an update, judged from the gaps the device
// saw on every frame. The line moves single gaps: a byte that reaches the reader late shortens one
// gap and lengthens the next. A program that cuts its pause short moves them all, and that moves
// the typical gap: the median, or the lower quartile where the gap holds more than the pause. So
// the typical gap must lie close to the pause, and all but the shortest gaps, a tenth of them at
// most, within the reader's slack.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace bootsim {

struct PauseRule {
    const char* what;   // "data"
    const char* since;  // "its page number"
    std::chrono::milliseconds least;
    // How far below the pause the typical gap may lie, for the reader's stamps and nothing else: a
    // program that keeps its pause leaves gaps that centre on it or above, however loaded the
    // machine is.
    std::chrono::microseconds shortfall;
    // The share of the gaps, in percent, that may lie below the typical gap: 50 for the median. A
    // gap that also holds the program's own work, more on some frames than others, shows the pause
    // best on the frames with the least of that work, and a lower quartile (25) judges those.
    unsigned typicalPercent = 50;
};
// Fewer gaps than this leave the typical gap to a single late byte, and only the low percentile is judged.
inline constexpr std::size_t kGapsForTypical = 8;

// A duration as the protocol errors give it: "12.3 ms".
std::string Milliseconds(std::chrono::steady_clock::duration d);

// The protocol error these gaps show, empty when the pause was kept. `slack` is how late the
// reader may stamp a byte now and then.
std::string JudgePause(const PauseRule& rule, std::vector<std::chrono::steady_clock::duration> gaps,
                       std::chrono::steady_clock::duration slack);

}  // namespace bootsim

// Whether the program kept one of its frame pauses over an update, judged from the gaps the device
// saw on every frame. The line moves single gaps: a byte that reaches the reader late shortens one
// gap and lengthens the next. A program that cuts its pause short moves them all, and that moves
// the median. So the median must lie close to the pause, and all but the shortest gaps, a tenth of
// them at most, within the reader's slack.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace bootsim {

struct PauseRule {
    const char* what;   // "data"
    const char* since;  // "its page number"
    std::chrono::milliseconds least;
    // How far below the pause the median may lie, for the reader's stamps and nothing else: a
    // program that keeps its pause leaves gaps that centre on it or above, however loaded the
    // machine is.
    std::chrono::microseconds medianShortfall;
};
// Fewer gaps than this leave the median to a single late byte, and only the low percentile is judged.
inline constexpr std::size_t kGapsForMedian = 8;

// The protocol error these gaps show, empty when the pause was kept. `slack` is how late the
// reader may stamp a byte now and then.
std::string JudgePause(const PauseRule& rule, std::vector<std::chrono::steady_clock::duration> gaps,
                       std::chrono::steady_clock::duration slack);

}  // namespace bootsim

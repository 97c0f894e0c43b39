#include "tools/bootsim/PauseJudge.h"

#include <algorithm>
#include <cstdio>

namespace bootsim {

namespace {

using Duration = std::chrono::steady_clock::duration;

// Counted from the shortest, from 0: the gap that a tenth of the gaps may lie below, and never the
// shortest alone, since one late byte is the line's doing and not the program's.
std::size_t LowPercentileRank(std::size_t count) { return std::max<std::size_t>(1, count / 10); }

}  // namespace

std::string Milliseconds(Duration d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", std::chrono::duration<double, std::milli>(d).count());
    return text;
}

std::string JudgePause(const PauseRule& rule, std::vector<Duration> gaps, Duration slack) {
    if (gaps.empty()) return {};
    std::sort(gaps.begin(), gaps.end());
    const std::size_t n = gaps.size();
    const std::size_t rank = LowPercentileRank(n);
    if (rank < n && gaps[rank] + slack < rule.least) {
        const auto shortOnes = static_cast<std::size_t>(
            std::count_if(gaps.begin(), gaps.end(), [&](Duration g) { return g + slack < rule.least; }));
        return std::string(rule.what) + " came less than " + Milliseconds(rule.least) + " after " + rule.since +
               " on " + std::to_string(shortOnes) + " of " + std::to_string(n) + " frames, the soonest " +
               Milliseconds(gaps.front()) + " after";
    }
    const Duration typical = gaps[(n - 1) * rule.typicalPercent / 100];
    if (n >= kGapsForTypical && typical + rule.shortfall < rule.least) {
        const std::string name = rule.typicalPercent == 50 ? "a median" : "a lower quartile";
        return std::string(rule.what) + " came " + name + " of " + Milliseconds(typical) + " after " + rule.since +
               " over " + std::to_string(n) + " frames, less than " + Milliseconds(rule.least);
    }
    return {};
}

}  // namespace bootsim

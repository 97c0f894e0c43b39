// The blinking reset prompt while an update waits for the boot loader: shown for about two
// seconds, hidden for about half a second, at the pace of the poll timer.
#pragma once

#include <cstdint>

namespace update {

enum class PromptAction { Nothing, Show, Hide };

struct PromptBlinkStep {
    PromptAction action;
    bool visible;         // the prompt's state after the step
    std::uint32_t stamp;  // tick count of the last showing or hiding
};

inline constexpr std::uint32_t kPromptShownMs = 1500;  // hidden once more than this has passed
inline constexpr std::uint32_t kPromptHiddenMs = 250;  // shown again once more than this has passed

// One timer tick's decision. Elapsed time wraps with the 32-bit tick counter.
constexpr PromptBlinkStep BlinkPrompt(bool visible, std::uint32_t stamp, std::uint32_t now) {
    const std::uint32_t elapsed = now - stamp;
    if (visible && elapsed > kPromptShownMs) return {PromptAction::Hide, false, now};
    if (!visible && elapsed > kPromptHiddenMs) return {PromptAction::Show, true, now};
    return {PromptAction::Nothing, visible, stamp};
}

}  // namespace update

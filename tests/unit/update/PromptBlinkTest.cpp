// The reset prompt's blinking rule over the wrapping tick counter.
#include "update/PromptBlink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace {

using update::PromptAction;

struct BlinkCase {
    const char* behaviour;
    bool visible;
    std::uint32_t stamp, now;
    PromptAction action;
    bool visibleAfter;
    std::uint32_t stampAfter;
};
void PrintTo(const BlinkCase& c, std::ostream* os) { *os << c.behaviour; }

class PromptBlink : public testing::TestWithParam<BlinkCase> {};

TEST_P(PromptBlink, DecidesOnStrictlyMoreThanThePeriod) {
    const BlinkCase& c = GetParam();
    const update::PromptBlinkStep step = update::BlinkPrompt(c.visible, c.stamp, c.now);
    EXPECT_EQ(step.action, c.action);
    EXPECT_EQ(step.visible, c.visibleAfter);
    EXPECT_EQ(step.stamp, c.stampAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, PromptBlink,
    testing::Values(
        BlinkCase{"ShownExactly1500StaysShown", true, 1000, 2500, PromptAction::Nothing, true, 1000},
        BlinkCase{"ShownMoreThan1500IsHidden", true, 1000, 2501, PromptAction::Hide, false, 2501},
        BlinkCase{"ShownBriefStaysShown", true, 1000, 1500, PromptAction::Nothing, true, 1000},
        BlinkCase{"HiddenExactly250StaysHidden", false, 1000, 1250, PromptAction::Nothing, false, 1000},
        BlinkCase{"HiddenMoreThan250IsShown", false, 1000, 1251, PromptAction::Show, true, 1251},
        BlinkCase{"HiddenLongIsShownNotHidden", false, 1000, 9000, PromptAction::Show, true, 9000},
        BlinkCase{"HidingAcrossTheWrap", true, 0xFFFFFC00u, 0x00000200u, PromptAction::Hide, false, 0x00000200u},
        BlinkCase{"ShownJustBeforeTheWrapStaysShown", true, 0xFFFFFF00u, 0x00000100u, PromptAction::Nothing, true,
                  0xFFFFFF00u},
        BlinkCase{"ShowingAcrossTheWrap", false, 0xFFFFFFF0u, 0x00000100u, PromptAction::Show, true, 0x00000100u}),
    [](const auto& info) { return std::string(info.param.behaviour); });

// The 500 ms timer gives two seconds shown and half a second hidden, over and over.
TEST(PromptBlinkRhythm, ShowsFourTicksAndHidesOne) {
    bool visible = true;
    std::uint32_t stamp = 0xFFFFF000u;
    std::string pattern;
    for (std::uint32_t tick = 1; tick <= 10; ++tick) {
        const update::PromptBlinkStep step = update::BlinkPrompt(visible, stamp, 0xFFFFF000u + tick * 500u);
        visible = step.visible;
        stamp = step.stamp;
        pattern += visible ? 'S' : '-';
    }
    EXPECT_EQ(pattern, "SSS-SSSS-S");
}

}  // namespace

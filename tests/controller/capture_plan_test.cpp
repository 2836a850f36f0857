// The plan of a capture pass: which displays, in which order, with which
// window left out and which hole, computed without a display.
#include "engine/controller/capture_plan.h"

#include <gtest/gtest.h>

#include "engine/controller/cadence.h"

namespace hg {
namespace {

using Step = CapturePlan::Step;

constexpr std::uint32_t kFocusID = 77;
constexpr std::uint64_t kNow = 10'000'000'000;  // uptime ns at the pass's start

// Display 1 at (0, 0, 1440, 900), display 2 to its right at (1440, 0, 1920, 1080).
CapturePlanInput twoDisplays(Rect focusRect)
{
    using Display = CapturePlanInput::Display;
    return {.displays = {Display{1, Rect{0, 0, 1440, 900}, false, std::nullopt, false},
                         Display{2, Rect{1440, 0, 1920, 1080}, false, std::nullopt, false}},
            .focus = FocusedWindow{kFocusID, 100, focusRect, 2},
            .revealFocus = true,
            .nowNanos = kNow};
}

TEST(CapturePlan, TheFocusDisplayComesFirstWithoutTheFocusWindowAndWithItsHole)
{
    const Rect focus{1600, 100, 800, 600};
    const CapturePlan plan = planCapturePass(twoDisplays(focus));
    EXPECT_EQ(plan.steps, (std::vector<Step>{{2, kFocusID, focus}, {1, std::nullopt, std::nullopt}}));
    EXPECT_EQ(plan.covered, (std::set<std::uint32_t>{2}));

    // A focus window reaching a point into display 1 leaves it a hole there,
    // but display 1 is not covered: captured with the focus window, after display 2.
    const Rect straddling{1439, 100, 800, 600};
    EXPECT_EQ(planCapturePass(twoDisplays(straddling)).steps,
              (std::vector<Step>{{2, kFocusID, straddling}, {1, std::nullopt, straddling}}));

    // A focus window that is not revealed keeps the order, but is captured
    // and blurred with the rest.
    CapturePlanInput hidden = twoDisplays(focus);
    hidden.revealFocus = false;
    EXPECT_EQ(planCapturePass(hidden).steps,
              (std::vector<Step>{{2, std::nullopt, std::nullopt}, {1, std::nullopt, std::nullopt}}));
}

TEST(CapturePlan, OtherDisplaysKeepTheirPaceUnlessTheFocusWindowEntersOrLeavesThem)
{
    CapturePlanInput input = twoDisplays({1600, 100, 800, 600});
    input.displays[1].wasCovered = true;
    input.displays[1].lastCaptureNanos = kNow - 1'000'000;  // covered: captured on every pass anyway
    input.displays[0].lastCaptureNanos = kNow - cadence::kOtherDisplayIntervalNanos;
    ASSERT_EQ(planCapturePass(input).steps.size(), 1u);
    EXPECT_EQ(planCapturePass(input).steps[0].display, 2u);
    input.displays[0].lastCaptureNanos = kNow - cadence::kOtherDisplayIntervalNanos - 1;
    EXPECT_EQ(planCapturePass(input).steps.size(), 2u);

    // The focus window moved to display 1: both are captured at once, display 1 first.
    CapturePlanInput moved = twoDisplays({100, 100, 800, 600});
    moved.displays[1].wasCovered = true;
    moved.displays[0].lastCaptureNanos = moved.displays[1].lastCaptureNanos = kNow - 1'000'000;
    const CapturePlan plan = planCapturePass(moved);
    EXPECT_EQ(plan.covered, (std::set<std::uint32_t>{1}));
    EXPECT_EQ(plan.steps, (std::vector<Step>{{1, kFocusID, Rect{100, 100, 800, 600}}, {2, std::nullopt, std::nullopt}}));

    // Half a point each way keeps a display covered, but does not make one covered.
    CapturePlanInput edge = twoDisplays({1439.4, 100, 800, 600});
    edge.displays[0].lastCaptureNanos = edge.displays[1].lastCaptureNanos = kNow - 1'000'000;
    EXPECT_EQ(planCapturePass(edge).covered, (std::set<std::uint32_t>{2}));
    edge.displays[0].wasCovered = edge.displays[1].wasCovered = true;
    EXPECT_EQ(planCapturePass(edge).covered, (std::set<std::uint32_t>{1, 2}));
}

TEST(CapturePlan, SkippedAndUnknownDisplaysAreLeftOutButStillCountAsCovered)
{
    CapturePlanInput input = twoDisplays({1600, 100, 800, 600});
    input.displays[1].skipped = true;  // asleep, or taken over by a full-screen window
    CapturePlan plan = planCapturePass(input);
    EXPECT_EQ(plan.covered, (std::set<std::uint32_t>{2}));
    EXPECT_EQ(plan.steps, (std::vector<Step>{{1, std::nullopt, std::nullopt}}));

    input.displays[1].skipped = false;
    input.displays[1].bounds.reset();
    input.focus.reset();
    plan = planCapturePass(input);
    EXPECT_TRUE(plan.covered.empty());
    EXPECT_EQ(plan.steps, (std::vector<Step>{{1, std::nullopt, std::nullopt}, {2, std::nullopt, std::nullopt}}));
}

TEST(CapturePlan, TheHoleIsInImagePixelsFromTheBottomAndFollowsAMovedWindow)
{
    const Rect bounds{1440, 0, 1920, 1080};
    // 2 pixels per point: a 3840 × 2160 picture.
    EXPECT_EQ(holeInImage({1540, 100, 200, 100}, std::nullopt, bounds, 2, 2160), (Rect{200, 1760, 400, 200}));
    // Moved 100 points down while captured: both places.
    EXPECT_EQ(holeInImage({1540, 100, 200, 100}, Rect{1540, 200, 200, 100}, bounds, 2, 2160),
              (Rect{200, 1560, 400, 400}));
    // Moved off the display: only the old place.
    EXPECT_EQ(holeInImage({1540, 100, 200, 100}, Rect{100, 200, 200, 100}, bounds, 2, 2160),
              (Rect{200, 1760, 400, 200}));
}

} // namespace
} // namespace hg

// The capture pass: which displays are captured when, in what order, without
// which window, and what the blur is told about the focus window's place.
#include <gtest/gtest.h>

#include "engine/controller/cadence.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ControllerFixture;

constexpr std::uint32_t kEditor = 10;
constexpr std::uint32_t kChat = 20;

class ControllerCapture : public ::testing::Test, public ControllerFixture {
protected:
    struct Shot {
        std::uint32_t display;
        std::uint64_t nanos;
    };
    // Records when each display is captured; pictures are solid grey.
    void recordShots()
    {
        capture.image = [this](std::uint32_t display) {
            shots.push_back({display, queue.uptimeNanos()});
            return CapturedImage::make(16, 10, std::vector<std::uint8_t>(16 * 10 * 4, 128));
        };
    }
    // A picture of the display whose upper half is white and lower half black,
    // at a tenth of its size in points.
    void halfWhiteScreens()
    {
        capture.image = [this](std::uint32_t display) {
            const Rect bounds = *screens.displayBounds(display);
            const int w = static_cast<int>(bounds.width() / 10), h = static_cast<int>(bounds.height() / 10);
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h * 4), 255);
            std::fill(pixels.begin() + static_cast<std::ptrdiff_t>(w * 4 * (h / 2)), pixels.end(), 0);
            for (std::size_t i = 3; i < pixels.size(); i += 4)
                pixels[i] = 255;  // opaque
            return CapturedImage::make(w, h, std::move(pixels));
        };
    }
    [[nodiscard]] std::vector<std::uint64_t> gaps(std::uint32_t display) const
    {
        std::vector<std::uint64_t> result;
        std::optional<std::uint64_t> previous;
        for (const Shot& shot : shots) {
            if (shot.display != display)
                continue;
            if (previous)
                result.push_back(shot.nanos - *previous);
            previous = shot.nanos;
        }
        return result;
    }
    // Lets every capture asked for so far finish and go up, then holds the
    // first capture of the next pass, which is that of the focus display.
    void holdNextPass()
    {
        while (!capture.shots.empty()) {
            capture.answerShot();
            drain();
        }
        frames(1);
        ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    }
    // Answers the held capture at the front and blurs it: its picture waits
    // for the next frame, with the surround luminance it was given.
    void answerFront()
    {
        capture.answerShot();
        drain();
    }
    std::vector<Shot> shots;
};

TEST_F(ControllerCapture, OtherDisplaysAreCapturedEvery66msAfterTheFocusDisplays)
{
    recordShots();
    showWindows({window(kChat, {1600, 100, 800, 600}, kOtherPID)}, kOtherPID);
    controller->enable();
    advance(600ms);  // still moving fast: a pass every 8 ms
    ASSERT_FALSE(shots.empty());
    EXPECT_EQ(shots.front().display, 2u);  // the focus display first

    const auto focusGaps = gaps(2);
    const auto otherGaps = gaps(1);
    ASSERT_GT(focusGaps.size(), 20u);
    ASSERT_GT(otherGaps.size(), 5u);
    // The manual clock moves a frame at a time, which is the slack here.
    const std::uint64_t frame = kFrame.count();
    for (std::uint64_t gap : focusGaps)
        EXPECT_LE(gap, 2 * frame);
    for (std::uint64_t gap : otherGaps) {
        EXPECT_GT(gap, cadence::kOtherDisplayIntervalNanos);
        EXPECT_LE(gap, cadence::kOtherDisplayIntervalNanos + 1 + frame);
    }
    // In every pass that captures both, the focus display comes first.
    for (std::size_t i = 0; i < shots.size(); ++i)
        if (shots[i].display == 1) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(shots[i - 1].display, 2u);
        }
}

TEST_F(ControllerCapture, TheBlurIsToldWhereTheFocusWindowIs)
{
    halfWhiteScreens();
    capture.holdShots = true;
    showWindows({window(kEditor, {100, 50, 800, 300})});  // in the white upper half
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    ASSERT_EQ(capture.shots.front().filter.display.displayID, 1u);
    answerFront();
    ASSERT_TRUE(overlay(1).hasPendingPicture());
    ASSERT_TRUE(overlay(1).surroundLuminance());
    EXPECT_GT(*overlay(1).surroundLuminance(), 0.95);  // a white surround: a black halo

    // The picture's rows run top down, the hole's y up from the bottom.
    showWindows({window(kEditor, {100, 550, 800, 300})});  // in the black lower half
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->rect.minY() == 550; }));
    holdNextPass();
    answerFront();
    ASSERT_TRUE(overlay(1).surroundLuminance());
    EXPECT_LT(*overlay(1).surroundLuminance(), 0.05);

    // A window that moved while it was captured: the hole covers both places.
    holdNextPass();
    showWindows({window(kEditor, {100, 50, 800, 300})});
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->rect.minY() == 50; }));
    answerFront();
    ASSERT_TRUE(overlay(1).surroundLuminance());
    EXPECT_GT(*overlay(1).surroundLuminance(), 0.05);
    EXPECT_LT(*overlay(1).surroundLuminance(), 0.95);
}

TEST_F(ControllerCapture, AFocusWindowMovingToAnotherDisplayGetsEveryDisplayCapturedAnew)
{
    screens.add(3, {3360, 0, 1280, 1024});
    showWindows({window(kEditor, {100, 100, 800, 600})});
    controller->enable();
    frames(20);
    auto captured = [&](std::uint32_t display) {
        return controller->displays().at(display).lastCaptureNanos.has_value();
    };
    ASSERT_TRUE(captured(3));

    // The same window dragged to display 2; the captures are held so that no
    // pass runs in between.
    capture.holdShots = true;
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    ASSERT_TRUE(captured(3));
    showWindows({window(kEditor, {1600, 100, 800, 600})});
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->displayID == 2; }));
    EXPECT_FALSE(captured(3));

    // Another application's window on display 1 becomes the focus window.
    capture.holdShots = false;
    while (!capture.shots.empty()) {
        capture.answerShot();
        drain();
    }
    frames(10);
    ASSERT_TRUE(captured(3));
    capture.holdShots = true;
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    showWindows({window(kChat, {200, 100, 800, 600}, kOtherPID), window(kEditor, {1600, 100, 800, 600})},
                kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->windowID == kChat; }));
    EXPECT_FALSE(captured(3));
}

} // namespace
} // namespace hg

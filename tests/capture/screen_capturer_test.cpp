#include "engine/capture/screen_capturer.h"

#include <gtest/gtest.h>

#include "support/manual_queue.h"
#include "support/fakes/fake_capture_service.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::FakeCaptureService;
using testing::ManualQueue;
using testing::solidImage;

constexpr std::int32_t kOwnPID = 4242;

ShareableContent contentWith(Rect displayFrame, double scale, std::vector<ShareableWindow> windows = {})
{
    return {{{1, displayFrame, scale}}, std::move(windows)};
}

ShareableWindow window(WindowID id, Rect frame, std::int32_t pid = 100)
{
    ShareableWindow w;
    w.windowID = id;
    w.ownerPID = pid;
    w.frame = frame;
    return w;
}

class ScreenCapturerTest : public ::testing::Test {
protected:
    // Captures display 1 and runs the queue; the reply, or nullopt when none came.
    std::optional<std::optional<CaptureResult>> captureNow(Exclusion exclusion = {})
    {
        std::optional<std::optional<CaptureResult>> result;
        capturer.capture(1, exclusion, [&](std::optional<CaptureResult> r) { result = std::move(r); });
        queue.runUntilIdle();
        return result;
    }
    // Answers every screenshot with an image of the configured size.
    void answerShotsAtConfiguredSize()
    {
        service.autoImage = [](const CaptureConfiguration& c) { return solidImage(c.width, c.height); };
    }

    ManualQueue queue;
    FakeCaptureService service;
    ScreenCapturer capturer{service, queue, queue, kOwnPID, std::string("org.hushglass.Hushglass")};
};

TEST_F(ScreenCapturerTest, LargeDisplaysAreCapturedAbout1600PixelsWide)
{
    struct Case {
        double pointsWide, pointScale, factor;
        int width;
        double scale;
    };
    for (const Case c : {Case{2560, 2, 3.2, 1600, 0.625}, Case{1440, 2, 1.8, 1600, 1600.0 / 1440},
                         Case{1440, 1, 1, 1440, 1}, Case{3500, 2, 4, 1750, 0.5}}) {
        SCOPED_TRACE(c.pointsWide * c.pointScale);
        capturer.reset();
        service.autoContent = contentWith({0, 0, c.pointsWide, 900}, c.pointScale);
        answerShotsAtConfiguredSize();
        EXPECT_DOUBLE_EQ(capturer.downscaleFactor(1, c.pointsWide * c.pointScale), c.factor);
        auto result = captureNow();
        ASSERT_TRUE(result && *result);
        EXPECT_EQ(service.shotLog.back().configuration.width, c.width);
        EXPECT_EQ(service.shotLog.back().configuration.height,
                  static_cast<int>(std::lround(900 * c.pointScale / c.factor)));
        EXPECT_FALSE(service.shotLog.back().configuration.showsCursor);
        EXPECT_NEAR((*result)->scale, c.scale, 1e-9);
    }
}

TEST_F(ScreenCapturerTest, AnIgnoredReducedSizeSwitchesToFullSizeForAMinute)
{
    service.autoContent = contentWith({0, 0, 1440, 900}, 2);
    service.autoImage = [](const CaptureConfiguration&) { return solidImage(2880, 1800); };
    auto first = captureNow({7});
    ASSERT_TRUE(first && *first);
    EXPECT_EQ(service.shotLog.back().configuration.width, 1600);
    EXPECT_DOUBLE_EQ((*first)->scale, 2.0);  // measured on the image, not the asked 1.11
    EXPECT_FALSE(capturer.hasFilter(1));     // a fresh filter is built next time

    answerShotsAtConfiguredSize();
    queue.fastForwardBy(59s);
    const int contentRequests = service.contentRequestCount;
    ASSERT_TRUE(captureNow({7}).value());
    EXPECT_EQ(service.contentRequestCount, contentRequests + 1);
    EXPECT_EQ(service.shotLog.back().configuration.width, 2880);

    queue.fastForwardBy(1s);
    ASSERT_TRUE(captureNow({7}).value());
    EXPECT_EQ(service.shotLog.back().configuration.width, 1600);
}

TEST_F(ScreenCapturerTest, FailuresBackOffDoublingUpToTwoSeconds)
{
    service.autoContent = contentWith({0, 0, 1440, 900}, 1);
    service.autoImage = [](const CaptureConfiguration&) { return std::optional<CapturedImage>(); };
    for (auto wait : {250ms, 500ms, 1000ms, 2000ms, 2000ms}) {
        SCOPED_TRACE(wait.count());
        const auto shots = service.shotLog.size();
        auto failed = captureNow();
        ASSERT_TRUE(failed);
        EXPECT_FALSE(*failed);
        EXPECT_EQ(service.shotLog.size(), shots + 1);
        queue.fastForwardBy(wait - 1ms);
        EXPECT_TRUE(capturer.isBackingOff(1));
        auto skipped = captureNow();  // answered absent without asking the service
        ASSERT_TRUE(skipped);
        EXPECT_FALSE(*skipped);
        EXPECT_EQ(service.shotLog.size(), shots + 1);
        queue.fastForwardBy(1ms);
        EXPECT_FALSE(capturer.isBackingOff(1));
    }
    answerShotsAtConfiguredSize();
    ASSERT_TRUE(captureNow().value());
    EXPECT_EQ(capturer.failureCount(1), 0);
}

TEST_F(ScreenCapturerTest, PrepareBuildsOnlyWhatIsNotReadyAndCancelsTheOlderBuild)
{
    const auto content = contentWith({0, 0, 1440, 900}, 1, {window(7, {0, 100, 300, 300}), window(8, {400, 100, 300, 300})});
    capturer.prepare(1, {7});
    capturer.prepare(1, {8});  // the focus moved before the first build finished
    ASSERT_EQ(service.contentRequests.size(), 2u);
    service.answerContent(content);  // the cancelled build's answer
    queue.runUntilIdle();
    EXPECT_FALSE(capturer.hasFilter(1));
    EXPECT_TRUE(capturer.isPreparing(1));
    service.answerContent(content);
    queue.runUntilIdle();
    ASSERT_TRUE(capturer.filter(1));
    EXPECT_EQ(capturer.filter(1)->excludedWindows, std::vector<WindowID>{8});
    EXPECT_FALSE(capturer.isPreparing(1));

    capturer.prepare(1, {8});
    EXPECT_TRUE(service.contentRequests.empty());
    EXPECT_FALSE(capturer.isPreparing(1));
}

TEST_F(ScreenCapturerTest, AnOverlappingOlderBuildStoresNothing)
{
    const auto content = contentWith({0, 0, 1440, 900}, 1, {window(7, {0, 100, 300, 300}), window(8, {400, 100, 300, 300})});
    std::vector<std::optional<CaptureResult>> replies;
    capturer.capture(1, {7}, [&](auto r) { replies.push_back(std::move(r)); });
    capturer.capture(1, {8}, [&](auto r) { replies.push_back(std::move(r)); });
    service.answerContent(content);
    queue.runUntilIdle();
    EXPECT_FALSE(capturer.hasFilter(1));  // 7 is no longer wanted
    service.answerContent(content);
    queue.runUntilIdle();
    ASSERT_TRUE(capturer.filter(1));
    EXPECT_EQ(capturer.filter(1)->excludedWindows, std::vector<WindowID>{8});
    ASSERT_EQ(service.shots.size(), 1u);
    EXPECT_EQ(service.shots.front().filter.excludedWindows, std::vector<WindowID>{8});
    service.answerShot(solidImage(1440, 900));
    queue.runUntilIdle();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_FALSE(replies[0]);  // the superseded capture found no filter of its own
    EXPECT_TRUE(replies[1]);
}

TEST_F(ScreenCapturerTest, FiltersLeaveOutOwnWindowsDocksMenuBarsAndTheFocusWindow)
{
    ShareableContent content;
    content.displays = {{1, {0, 0, 1440, 900}, 1}, {2, {1440, 0, 1920, 1080}, 1}};
    ShareableWindow ownByApp = window(11, {10, 10, 100, 100}, 999);
    ownByApp.ownerAppID = "org.hushglass.Hushglass";
    ShareableWindow dock = window(12, {0, 860, 1440, 40});
    dock.isDock = true;
    content.windows = {
        window(10, {0, 0, 1440, 900}, kOwnPID),   // the overlay
        ownByApp,
        dock,
        window(13, {1440, 0, 1920, 41}),          // too tall for a menu bar
        window(14, {1440, 0, 1921, 24}),          // the second display's menu bar
        window(15, {0, 0, 1440, 16}),             // the first display's menu bar
        window(16, {0, 0, 1440, 20}),             // a second candidate: only the first counts
        window(20, {200, 200, 500, 400}),
    };
    service.autoContent = content;
    capturer.prepare(1, {20});
    queue.runUntilIdle();
    ASSERT_TRUE(capturer.filter(1));
    EXPECT_EQ(capturer.filter(1)->excludedWindows, (std::vector<WindowID>{10, 11, 12, 15, 14, 20}));

    capturer.prepare(1, {99});  // not among the shareable windows
    queue.runUntilIdle();
    EXPECT_EQ(capturer.filter(1)->excludedWindows, (std::vector<WindowID>{10, 11, 12, 15, 14}));
}

TEST_F(ScreenCapturerTest, MissingScreensAndFailedBuildsAnswerAbsent)
{
    service.screens = {};
    auto noScreen = captureNow();
    ASSERT_TRUE(noScreen);
    EXPECT_FALSE(*noScreen);
    EXPECT_EQ(service.contentRequestCount, 0);

    service.screens = {1};
    service.autoContent = ShareableContent{};  // display 1 is not in the content
    auto noDisplay = captureNow();
    ASSERT_TRUE(noDisplay);
    EXPECT_FALSE(*noDisplay);
    EXPECT_EQ(capturer.failureCount(1), 1);
    EXPECT_TRUE(service.shotLog.empty());
}

TEST_F(ScreenCapturerTest, AReadyFilterIsReusedAndResetForgetsEverything)
{
    service.autoContent = contentWith({0, 0, 1440, 900}, 1);
    answerShotsAtConfiguredSize();
    ASSERT_TRUE(captureNow({3}).value());
    ASSERT_TRUE(captureNow({3}).value());
    EXPECT_EQ(service.contentRequestCount, 1);

    service.autoContent.reset();
    capturer.prepare(1, {4});
    EXPECT_TRUE(capturer.isPreparing(1));
    capturer.reset();
    EXPECT_FALSE(capturer.isPreparing(1));
    EXPECT_FALSE(capturer.hasFilter(1));
    service.answerContent(contentWith({0, 0, 1440, 900}, 1));  // the cancelled build
    queue.runUntilIdle();
    EXPECT_FALSE(capturer.hasFilter(1));
}

TEST_F(ScreenCapturerTest, NothingRunsOnceTheCapturerIsGone)
{
    auto capturerOnHeap = std::make_unique<ScreenCapturer>(service, queue, queue, kOwnPID);
    bool replied = false;
    capturerOnHeap->capture(1, {}, [&](auto) { replied = true; });
    capturerOnHeap->prepare(1, {5});
    capturerOnHeap.reset();
    while (!service.contentRequests.empty())
        service.answerContent(contentWith({0, 0, 1440, 900}, 1));
    queue.runUntilIdle();
    EXPECT_FALSE(replied);
    EXPECT_TRUE(service.shots.empty());
}

} // namespace
} // namespace hg

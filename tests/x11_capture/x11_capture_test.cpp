#include "platform/capture/x11_capture_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <xcb/composite.h>
#include <thread>
#include <unistd.h>

#include "engine/capture/screen_capturer.h"
#include "platform/capture/x11_capture_access.h"
#include "platform/capture/x11_compositor.h"
#include "platform/capture/x11_damage_tracker.h"
#include "platform/x11/own_windows.h"
#include "platform/x11/window_model.h"
#include "platform/x11/x_reply.h"
#include "support/manual_queue.h"
#include "tests/x11_capture/capture_desktop.h"
#include "test_client.h"

namespace hg {
namespace {

using testing::CaptureDesktop;
using testing::pixelAt;
using testing::Rgb;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr Rgb kWallpaper{20, 40, 200};
constexpr Rgb kRed{220, 30, 30};
constexpr Rgb kGreen{30, 200, 60};
constexpr Rgb kYellow{240, 220, 20};
constexpr Rgb kMagenta{230, 0, 230};

// Display 7 captured once through `capturer`, its pool and queue run until it answers.
std::optional<std::optional<CaptureResult>> captureOnce(ScreenCapturer& capturer, Exclusion exclusion,
                                                        testing::ManualPool& pool, testing::ManualQueue& queue)
{
    std::optional<std::optional<CaptureResult>> result;
    capturer.capture(7, std::move(exclusion), [&](std::optional<CaptureResult> r) { result = std::move(r); });
    for (int i = 0; i < 100 && !result; ++i) {
        pool.runAll();
        queue.runUntilIdle();
    }
    return result;
}

class X11CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        desktop = std::make_unique<CaptureDesktop>(kWidth, kHeight);
        ASSERT_TRUE(desktop->ok()) << desktop->session().error();
        connection = xcb_connect(desktop->session().display().c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        desktop->setWallpaper(kWallpaper);
    }
    void TearDown() override
    {
        compositor.reset();
        if (connection)
            xcb_disconnect(connection);
    }
    X11Compositor& makeCompositor()
    {
        compositor = std::make_unique<X11Compositor>(connection, screen);
        return *compositor;
    }
    std::optional<CapturedImage> captureAll(const std::vector<xcb_window_t>& excluded = {})
    {
        return compositor->capture(Rect(0, 0, kWidth, kHeight), kWidth, kHeight, excluded);
    }

    std::unique_ptr<CaptureDesktop> desktop;
    xcb_connection_t* connection = nullptr;
    const xcb_screen_t* screen = nullptr;
    std::unique_ptr<X11Compositor> compositor;
};

// Whether the server keeps an off-screen copy of some shown top-level window:
// only a redirected window's pixmap can be named.
bool anyWindowRedirected(xcb_connection_t* c, xcb_window_t root)
{
    x11::XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        x11::XReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        if (xcb_generic_error_t* error = xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, children[i], pixmap))) {
            std::free(error);
            continue;
        }
        xcb_free_pixmap(c, pixmap);
        return true;
    }
    return false;
}

TEST_F(X11CaptureTest, TheServiceKeepsWindowsRedirectedOnlyWhileActive)
{
    desktop->makeWindow(100, 100, 200, 150, kRed);
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{7, Rect(0, 0, kWidth, kHeight), 1}};
    });
    ASSERT_TRUE(service.isReady());
    const ContentFilter filter{{7, Rect(0, 0, kWidth, kHeight), 1}, {}};
    const auto shoot = [&] {
        std::optional<std::optional<CapturedImage>> image;
        service.screenshot(filter, {.width = kWidth, .height = kHeight}, [&](auto i) { image = std::move(i); });
        pool.runAll();
        return image && *image;
    };
    EXPECT_FALSE(anyWindowRedirected(connection, screen->root)) << "redirected before the effect went on";
    EXPECT_FALSE(shoot());

    for (int round = 0; round < 2; ++round) {
        service.setActive(true);
        EXPECT_TRUE(anyWindowRedirected(connection, screen->root));
        EXPECT_TRUE(shoot());
        service.setActive(false);
        EXPECT_FALSE(anyWindowRedirected(connection, screen->root)) << "still redirected after the effect went off";
        EXPECT_FALSE(shoot());
    }
}

TEST_F(X11CaptureTest, LeavingOutTheFrontWindowShowsWhatLiesBehindIt)
{
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();
    desktop->makeWindow(100, 100, 200, 150, kRed);
    const xcb_window_t front = desktop->makeWindow(200, 150, 200, 150, kGreen);

    auto all = captureAll();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->width, kWidth);
    EXPECT_EQ(pixelAt(*all, 250, 200), kGreen);
    EXPECT_EQ(pixelAt(*all, 150, 130), kRed);
    EXPECT_EQ(pixelAt(*all, 600, 440), kWallpaper);

    auto without = captureAll({front});
    ASSERT_TRUE(without);
    EXPECT_EQ(pixelAt(*without, 250, 200), kRed);        // the window below
    EXPECT_EQ(pixelAt(*without, 380, 280), kWallpaper);  // the desktop, not black
    EXPECT_EQ(pixelAt(*without, all->width - 1, all->height - 1), kWallpaper);
    EXPECT_EQ(*(without->row(0) + 3), 255);  // opaque
}

TEST_F(X11CaptureTest, AShapedWindowIsComposedWithinItsShape)
{
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();
    desktop->makeWindow(300, 100, 200, 200, kYellow, /*overrideRedirect=*/true);
    desktop->shape(desktop->lastClient(), {{0, 0, 100, 200}, {100, 150, 100, 50}});  // an L
    auto image = captureAll();
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 320, 150), kYellow);
    EXPECT_EQ(pixelAt(*image, 450, 280), kYellow);
    EXPECT_EQ(pixelAt(*image, 450, 150), kWallpaper);  // outside the shape
}

TEST_F(X11CaptureTest, ReducedCapturesAreScaledOnTheServer)
{
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();
    desktop->makeWindow(0, 0, 320, 240, kRed, true);
    auto image = compositor->capture(Rect(0, 0, kWidth, kHeight), kWidth / 2, kHeight / 2, {});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, kWidth / 2);
    EXPECT_EQ(pixelAt(*image, 80, 60), kRed);
    EXPECT_EQ(pixelAt(*image, 240, 180), kWallpaper);
    // A part of the screen, offset: the translation sits in the transform.
    image = compositor->capture(Rect(160, 120, 320, 240), 320, 240, {});
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 100, 80), kRed);
    EXPECT_EQ(pixelAt(*image, 200, 160), kWallpaper);
}

TEST_F(X11CaptureTest, TheProgramsOwnWindowsAndTheFocusWindowAreLeftOut)
{
    desktop->makeWindow(50, 50, 300, 200, kRed);
    const xcb_window_t focus = desktop->makeWindow(80, 80, 100, 100, kGreen);
    desktop->makeWindow(400, 200, 150, 150, kMagenta, /*overrideRedirect=*/true, /*ownPid=*/true);

    testing::ManualQueue queue;
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{7, Rect(0, 0, kWidth, kHeight), 1}};
    });
    ASSERT_TRUE(service.isReady());
    service.setActive(true);
    ScreenCapturer capturer(service, queue, queue, static_cast<std::int32_t>(::getpid()));
    std::optional<std::optional<CaptureResult>> result = captureOnce(capturer, {focus}, pool, queue);
    ASSERT_TRUE(result && *result);
    const CapturedImage& image = (*result)->image;
    EXPECT_DOUBLE_EQ((*result)->scale, 1.0);
    EXPECT_EQ(pixelAt(image, 120, 120), kRed);        // the focus window is gone
    EXPECT_EQ(pixelAt(image, 470, 270), kWallpaper);  // so is our own window
    ASSERT_TRUE(capturer.filter(7));
    EXPECT_EQ(capturer.filter(7)->excludedWindows.size(), 2u);

    X11CaptureAccess access(connection);
    EXPECT_EQ(access.preflight(), !X11CaptureAccess::isWaylandSession());
}

// A server that cannot tell who owns a window (no X-Resource, no
// `_NET_WM_PID`) still never shows an overlay of ours in a capture: the
// capturer here knows no window as its own, and only the marker leaves the
// overlay out.
TEST_F(X11CaptureTest, OverlaysMarkedAsOursAreLeftOutWhateverTheirOwner)
{
    const xcb_window_t beneath = desktop->makeWindow(50, 50, 200, 200, kRed, /*overrideRedirect=*/true);
    const xcb_window_t overlay = desktop->makeWindow(100, 100, 300, 200, kMagenta, /*overrideRedirect=*/true);
    const xcb_window_t other = desktop->makeWindow(450, 320, 100, 100, kYellow, /*overrideRedirect=*/true);
    const auto mark = [&](xcb_window_t window, const char* name) {
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        ASSERT_NE(atom, nullptr);
        const std::uint32_t one = 1;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &one);
        std::free(atom);
    };
    mark(overlay, kOwnOverlayMarker);
    mark(other, "_SOME_OTHER_MARKER");
    desktop->sync();

    testing::ManualQueue queue;
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{7, Rect(0, 0, kWidth, kHeight), 1}};
    });
    service.setActive(true);
    ASSERT_TRUE(service.isReady());
    constexpr std::int32_t kNoProcess = -1;  // no window resolves to it
    ScreenCapturer capturer(service, queue, queue, kNoProcess);
    std::optional<std::optional<CaptureResult>> result = captureOnce(capturer, {}, pool, queue);
    ASSERT_TRUE(result && *result);
    ASSERT_TRUE(capturer.filter(7));
    EXPECT_TRUE(capturer.filter(7)->excludedWindows.empty());
    const CapturedImage& image = (*result)->image;
    EXPECT_EQ(pixelAt(image, 150, 150), kRed);        // beneath the overlay
    EXPECT_EQ(pixelAt(image, 350, 250), kWallpaper);  // where only the overlay was
    EXPECT_EQ(pixelAt(image, 500, 370), kYellow);     // a window with another marker stays

    // The overlay showing a new picture changes no capture.
    const std::uint64_t taken = service.counts().taken;
    const auto shootAgain = [&] {
        result = captureOnce(capturer, {}, pool, queue);
    };
    shootAgain();
    ASSERT_EQ(service.counts().taken, taken);
    desktop->paint(overlay, {0, 0, 300, 200}, kGreen);
    desktop->sync();
    shootAgain();
    EXPECT_EQ(service.counts().taken, taken) << "our overlay's drawing was taken for a change of the screen";

    // Never painted, the overlay hides nothing: drawing beneath it is a change.
    desktop->paint(beneath, {60, 60, 100, 100}, kGreen);
    desktop->sync();
    shootAgain();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(service.counts().taken, taken + 1) << "drawing beneath our overlay went unnoticed";
    EXPECT_EQ(pixelAt((*result)->image, 150, 150), kGreen);
}

// `markAsOurs` makes another process's window ours for every window list:
// `_NET_WM_PID` comes before what the X server knows of its owner.
TEST_F(X11CaptureTest, AWindowMarkedAsOursIsLeftOutByItsProcess)
{
    // Two windows of another process; the second is marked as ours.
    testing::TestClient other(desktop->session().display());
    ASSERT_TRUE(other.ok());
    const xcb_window_t first = other.open("first 200x200+100+100 override pid=no");
    const xcb_window_t second = other.open("second 200x200+350+100 override pid=no");
    ASSERT_TRUE(first && second);
    markAsOurs(connection, second);
    desktop->sync();

    testing::ManualQueue queue;
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{7, Rect(0, 0, kWidth, kHeight), 1}};
    });
    service.setActive(true);
    ScreenCapturer capturer(service, queue, queue, static_cast<std::int32_t>(::getpid()));
    std::optional<std::optional<CaptureResult>> result = captureOnce(capturer, {}, pool, queue);
    ASSERT_TRUE(result && *result);
    ASSERT_TRUE(capturer.filter(7));
    EXPECT_EQ(capturer.filter(7)->excludedWindows, std::vector<WindowID>{second});
}

// Screens are in root pixels whatever Qt's device pixel ratio: a monitor
// whose ratio is 2 is captured at its place, one pixel per point.
TEST_F(X11CaptureTest, AMonitorScaledByQtIsCapturedInRootPixels)
{
    class QuarterMonitor final : public ScreenSource {
    public:
        std::vector<Screen> screens() const override
        {
            Screen s;
            s.displayNumber = 7;
            s.frame = s.visibleFrame = {kWidth / 2, 0, kWidth / 2, kHeight / 2};
            s.backingScaleFactor = 2;
            return {s};
        }
        std::optional<Rect> displayBounds(std::uint32_t) const override
        {
            return Rect(kWidth / 2, kHeight / 2, kWidth / 2, kHeight / 2);
        }
    } screens;
    desktop->makeWindow(kWidth / 2 + 40, kHeight / 2 + 30, 100, 80, kGreen, /*overrideRedirect=*/true);

    testing::ManualQueue queue;
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, X11CaptureService::displaysOf(screens));
    service.setActive(true);
    ScreenCapturer capturer(service, queue, queue, static_cast<std::int32_t>(::getpid()));
    std::optional<std::optional<CaptureResult>> result = captureOnce(capturer, {}, pool, queue);
    ASSERT_TRUE(result && *result);
    const CapturedImage& image = (*result)->image;
    EXPECT_EQ(image.width, kWidth / 2);
    EXPECT_EQ(image.height, kHeight / 2);
    EXPECT_DOUBLE_EQ((*result)->scale, 1.0);
    EXPECT_EQ(pixelAt(image, 80, 60), kGreen);
    EXPECT_EQ(pixelAt(image, 20, 20), kWallpaper);
}

TEST_F(X11CaptureTest, WindowsVanishingDuringCapturesCostNothingButThemselves)
{
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();
    desktop->makeWindow(10, 10, 100, 100, kRed, /*overrideRedirect=*/true);
    std::atomic<bool> stop = false;
    // Another client maps and destroys windows as fast as it can.
    std::thread churn([&] {
        xcb_connection_t* c = xcb_connect(desktop->session().display().c_str(), nullptr);
        const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const std::uint32_t values[] = {0xff00ff00u, 1u};
        while (!stop) {
            const xcb_window_t w = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, s->root, 300, 300, 80, 80, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                              XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
            xcb_map_window(c, w);
            xcb_flush(c);
            xcb_destroy_window(c, w);
            xcb_flush(c);
        }
        xcb_disconnect(c);
    });
    int failures = 0;
    for (int i = 0; i < 60; ++i) {
        auto image = captureAll();
        if (!image)
            ++failures;
        else
            EXPECT_EQ(pixelAt(*image, 50, 50), kRed);
    }
    stop = true;
    churn.join();
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(xcb_connection_has_error(connection));
    // No error from the vanished windows reached the event queue.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        EXPECT_NE(event->response_type, 0) << "an X error leaked";
        std::free(event);
    }
}

} // namespace
} // namespace hg

namespace hg {
namespace {

// Two displays side by side on one screen; the focus window is left out of
// both captures, as the controller asks.
TEST_F(X11CaptureTest, ScreenshotsAreTakenAgainOnlyWhereSomethingShownChanged)
{
    desktop->makeWindow(40, 40, 200, 120, kRed);
    const xcb_window_t redClient = desktop->lastClient();
    desktop->makeWindow(150, 300, 60, 40, kMagenta);  // below the yellow window, hidden by it
    const xcb_window_t hiddenClient = desktop->lastClient();
    desktop->makeWindow(100, 250, 200, 150, kYellow);
    const xcb_window_t focus = desktop->makeWindow(360, 60, 150, 150, kGreen);
    const xcb_window_t focusClient = desktop->lastClient();

    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{1, Rect(0, 0, 320, kHeight), 1}, {2, Rect(320, 0, 320, kHeight), 1}};
    });
    ASSERT_TRUE(service.isReady());
    service.setActive(true);
    const std::vector<ContentFilter> filters{{{1, Rect(0, 0, 320, kHeight), 1}, {focus}},
                                             {{2, Rect(320, 0, 320, kHeight), 1}, {focus}}};
    std::vector<CapturedImage> last(2);
    // Shoots both displays; says which got new pixels.
    const auto shootBoth = [&] {
        std::vector<bool> fresh;
        for (std::size_t d = 0; d < 2; ++d) {
            std::optional<std::optional<CapturedImage>> image;
            service.screenshot(filters[d], {.width = 320, .height = kHeight}, [&](auto i) { image = std::move(i); });
            pool.runAll();
            EXPECT_TRUE(image && *image);
            if (!image || !*image)
                return std::vector<bool>{};
            fresh.push_back((*image)->pixels != last[d].pixels);
            last[d] = **image;
        }
        return fresh;
    };
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, true}));
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, false})) << "a still screen was captured again";
    EXPECT_EQ(service.counts().taken, 2u);

    desktop->paint(redClient, {0, 0, 200, 120}, kGreen);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, false}));
    EXPECT_EQ(pixelAt(last[0], 140, 120), kGreen);

    desktop->paint(focusClient, {0, 0, 150, 150}, kRed);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, false})) << "the left-out window's drawing counted";
    desktop->paint(hiddenClient, {0, 0, 60, 40}, kGreen);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, false})) << "drawing under an opaque window counted";

    // A window appearing shows, and so does its drawing afterwards.
    desktop->makeWindow(420, 300, 100, 100, kMagenta);
    const xcb_window_t newClient = desktop->lastClient();
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, true}));
    desktop->paint(newClient, {0, 0, 100, 100}, kYellow);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, true}));
    EXPECT_EQ(pixelAt(last[1], 150, 360), kYellow);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{false, false}));

    // Moves and restacking change no window's pixels, yet show.
    const xcb_window_t square = desktop->makeWindow(20, 420, 40, 40, kRed, /*overrideRedirect=*/true);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, false}));
    const std::uint32_t moved[] = {400, 420};
    xcb_configure_window(desktop->connection(), square, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, moved);
    desktop->sync();
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, true}));
    EXPECT_EQ(pixelAt(last[1], 90, 430), kRed);
    const xcb_window_t over = desktop->makeWindow(150, 300, 40, 40, kRed, /*overrideRedirect=*/true);
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, false}));
    const std::uint32_t below[] = {XCB_STACK_MODE_BELOW};
    xcb_configure_window(desktop->connection(), over, XCB_CONFIG_WINDOW_STACK_MODE, below);
    desktop->sync();
    EXPECT_EQ(shootBoth(), (std::vector<bool>{true, false})) << "a window lowered under another went unnoticed";
    EXPECT_EQ(pixelAt(last[0], 170, 320), kYellow);
}

// Where only part of a picture changed, only that part is composed again: the
// result is, pixel for pixel, the picture a whole capture takes, also scaled.
TEST_F(X11CaptureTest, APartlyChangedPictureIsTheOneAWholeCaptureTakes)
{
    desktop->makeWindow(40, 40, 300, 200, kRed);
    const xcb_window_t backClient = desktop->lastClient();
    desktop->makeWindow(200, 150, 200, 150, kYellow);
    const xcb_window_t frontClient = desktop->lastClient();
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();

    testing::ManualPool pool;
    const Rect display(0, 0, kWidth, kHeight);
    X11CaptureService service(connection, screen, pool,
                              [&] { return std::vector<ShareableDisplay>{{1, display, 1}}; });
    service.setActive(true);
    const int width = kWidth * 4 / 5, height = kHeight * 4 / 5;  // scaled, as the blur asks for
    const auto shoot = [&] {
        std::optional<std::optional<CapturedImage>> image;
        service.screenshot({{1, display, 1}, {}}, {.width = width, .height = height},
                           [&](auto i) { image = std::move(i); });
        pool.runAll();
        return image && *image ? **image : CapturedImage{};
    };
    const auto samePixels = [&](const CapturedImage& image) {
        const std::optional<CapturedImage> whole = compositor->capture(display, width, height, {});
        if (!whole || !image.isValid())
            return ::testing::AssertionFailure() << "no picture";
        for (int y = 0; y < height; ++y)
            if (std::memcmp(image.row(y), whole->row(y), 4 * static_cast<std::size_t>(width)) != 0)
                return ::testing::AssertionFailure() << "row " << y << " differs from a whole capture";
        return ::testing::AssertionSuccess();
    };

    EXPECT_TRUE(samePixels(shoot()));
    const std::uint64_t taken = service.counts().taken;
    // A small change, one at the picture's edge, one across two windows' border.
    desktop->paint(backClient, {10, 10, 30, 20}, kGreen);
    EXPECT_TRUE(samePixels(shoot()));
    desktop->paint(frontClient, {190, 140, 10, 10}, kMagenta);
    EXPECT_TRUE(samePixels(shoot()));
    desktop->paint(backClient, {150, 100, 100, 100}, kMagenta);
    EXPECT_TRUE(samePixels(shoot()));
    // A window moved: its old place shows what lay beneath again.
    const xcb_window_t square = desktop->makeWindow(300, 60, 60, 60, kGreen, /*overrideRedirect=*/true);
    EXPECT_TRUE(samePixels(shoot()));
    const std::uint32_t moved[] = {250, 120};
    xcb_configure_window(desktop->connection(), square, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, moved);
    desktop->sync();
    EXPECT_TRUE(samePixels(shoot()));
    EXPECT_EQ(service.counts().taken, taken + 5);
}

} // namespace
} // namespace hg

namespace hg {
namespace {

// Captures leave out what opaque windows paint over, and take the stack the
// damage tracker polled: what a window hid shows again as soon as it goes or
// moves, and windows that are not opaque (shaped here) hide nothing.
TEST_F(X11CaptureTest, WhatAWindowHidShowsAgainWhenItGoesOrMoves)
{
    desktop->makeWindow(40, 40, 200, 150, kRed);
    const xcb_window_t cover = desktop->makeWindow(20, 20, 300, 220, kGreen, /*overrideRedirect=*/true);
    desktop->makeWindow(60, 60, 100, 100, kYellow, /*overrideRedirect=*/true);
    desktop->shape(desktop->lastClient(), {{0, 0, 50, 100}});  // its right half is cut away

    testing::ManualPool pool;
    const Rect display(0, 0, kWidth, kHeight);
    X11CaptureService service(connection, screen, pool, [&] { return std::vector<ShareableDisplay>{{1, display, 1}}; });
    service.setActive(true);
    const int width = kWidth / 2, height = kHeight / 2;  // scaled, as the blur asks for
    const auto shoot = [&] {
        std::optional<std::optional<CapturedImage>> image;
        service.screenshot({{1, display, 1}, {}}, {.width = width, .height = height},
                           [&](auto i) { image = std::move(i); });
        pool.runAll();
        return image && *image ? **image : CapturedImage{};
    };
    // In picture pixels: under the cover only, under the yellow window's
    // cut-away half, and on the yellow window.
    const auto probes = [&](const CapturedImage& image) {
        return std::vector<Rgb>{pixelAt(image, 100, 85), pixelAt(image, 70, 50), pixelAt(image, 40, 50)};
    };
    CapturedImage image = shoot();
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(probes(image), (std::vector<Rgb>{kGreen, kGreen, kYellow}));

    const std::uint32_t away[] = {400, 300};
    xcb_configure_window(desktop->connection(), cover, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, away);
    desktop->sync();
    image = shoot();
    EXPECT_EQ(probes(image), (std::vector<Rgb>{kRed, kRed, kYellow})) << "moved away";
    EXPECT_EQ(pixelAt(image, 250, 180), kGreen);

    const std::uint32_t back[] = {20, 20};
    xcb_configure_window(desktop->connection(), cover, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, back);
    desktop->sync();
    EXPECT_EQ(probes(shoot()), (std::vector<Rgb>{kGreen, kGreen, kYellow})) << "moved back";
    xcb_unmap_window(desktop->connection(), cover);
    desktop->sync();
    image = shoot();
    EXPECT_EQ(probes(image), (std::vector<Rgb>{kRed, kRed, kYellow})) << "unmapped";
    EXPECT_EQ(pixelAt(image, 15, 15), kWallpaper);
}

// A window that hid others in the stack a capture starts from, gone before
// its pixmap is named, leaves no hole: the capture shows what lay beneath it,
// not what an earlier capture left in the server's picture.
TEST_F(X11CaptureTest, AHidingWindowGoneBeforeItIsPaintedLeavesNoHole)
{
    ASSERT_TRUE(makeCompositor().isReady()) << compositor->problem();
    desktop->makeWindow(0, 0, 320, 240, kRed, /*overrideRedirect=*/true);
    desktop->makeWindow(320, 240, 320, 240, kMagenta, /*overrideRedirect=*/true);
    const xcb_window_t cover = desktop->makeWindow(40, 40, 200, 150, kGreen, /*overrideRedirect=*/true);
    X11DamageTracker tracker(connection, screen->root);
    ASSERT_TRUE(tracker.isReady());
    (void)tracker.poll();
    ASSERT_TRUE(tracker.scene());
    const std::vector<X11DamageTracker::Window> stack = *tracker.scene()->stack;
    const X11DamageTracker::Scene polled{&stack, tracker.scene()->wallpaper};
    desktop->destroy(cover);
    desktop->sync();

    const Rect left(0, 0, 320, 240), right(320, 240, 320, 240);
    ASSERT_TRUE(compositor->capture(right, 320, 240, {}));  // magenta all over
    const std::optional<CapturedImage> image = compositor->capture(left, 320, 240, {}, polled);
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(*image, 100, 100), kRed);
    EXPECT_FALSE(xcb_connection_has_error(connection));
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        EXPECT_NE(event->response_type, 0) << "an X error leaked";
        std::free(event);
    }
}

// While whoever follows the root's children saw none change, a poll asks only
// about the windows' drawing and the wallpaper, and every fourth poll still
// reads the whole stack.
TEST_F(X11CaptureTest, APollOfAStillStackStillSeesDrawingAndTheWallpaper)
{
    desktop->makeWindow(40, 40, 200, 150, kRed);
    const xcb_window_t client = desktop->lastClient();
    X11DamageTracker tracker(connection, screen->root);
    ASSERT_TRUE(tracker.isReady());
    ASSERT_FALSE(tracker.poll()) << "the first poll knows nothing yet";
    const auto drawnBy = [](const std::optional<std::vector<X11DamageTracker::Change>>& changes, xcb_window_t w) {
        return changes && std::any_of(changes->begin(), changes->end(),
                                      [&](const X11DamageTracker::Change& c) { return c.window == w; });
    };
    const auto drawnAt = [](const std::optional<std::vector<X11DamageTracker::Change>>& changes, const Rect& area) {
        return changes && std::any_of(changes->begin(), changes->end(), [&](const X11DamageTracker::Change& c) {
                   return c.window != XCB_WINDOW_NONE && c.area.intersects(area);
               });
    };

    desktop->paint(client, {10, 10, 20, 20}, kGreen);
    EXPECT_TRUE(drawnAt(tracker.poll(true), Rect(40, 40, 200, 150))) << "drawing";
    EXPECT_TRUE(tracker.poll(true)->empty()) << "nothing drawn since";
    desktop->setWallpaper(kYellow);
    EXPECT_TRUE(drawnBy(tracker.poll(true), XCB_WINDOW_NONE)) << "a new wallpaper";

    // Told wrongly that nothing changed, the fourth poll reads the stack all
    // the same.
    const xcb_window_t square = desktop->makeWindow(300, 300, 50, 50, kGreen, /*overrideRedirect=*/true);
    EXPECT_TRUE(drawnBy(tracker.poll(true), square) || drawnBy(tracker.poll(true), square))
        << "a whole poll within four";
}

// A service that hears its connection's events answers a still screen at
// once, without asking the server, and asks again whenever it hears drawing,
// a new shape or a new wallpaper, and after a few quiet answers in a row.
TEST_F(X11CaptureTest, AServiceThatHearsTheScreenAnswersAStillOneWithoutAsking)
{
    desktop->makeWindow(40, 40, 200, 150, kRed);
    const xcb_window_t client = desktop->lastClient();
    const xcb_window_t square = desktop->makeWindow(400, 300, 60, 60, kGreen, /*overrideRedirect=*/true);
    testing::ManualPool pool;
    X11CaptureService service(connection, screen, pool, [] {
        return std::vector<ShareableDisplay>{{7, Rect(0, 0, kWidth, kHeight), 1}};
    });
    ASSERT_TRUE(service.isReady());
    service.setWindowModel(x11::WindowModel::connect(desktop->session().display(), connection, screen->root,
                                                     {.nowNanos = [] { return std::uint64_t{1}; }}));
    service.setActive(true);
    service.followEvents();
    // What the connection heard so far goes to the service.
    const auto hear = [&] {
        desktop->sync();
        x11::XReply<xcb_get_input_focus_reply_t> roundTrip(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            service.noteEvent(event);
            std::free(event);
        }
    };
    struct Shot {
        bool atOnce = false;
        CapturedImage image;
    };
    const ContentFilter filter{{7, Rect(0, 0, kWidth, kHeight), 1}, {}};
    const auto shoot = [&] {
        hear();
        std::optional<std::optional<CapturedImage>> image;
        service.screenshot(filter, {.width = kWidth, .height = kHeight}, [&](auto i) { image = std::move(i); });
        Shot shot{image.has_value(), {}};
        pool.runAll();
        EXPECT_TRUE(image && *image);
        if (image && *image)
            shot.image = **image;
        return shot;
    };
    const auto settle = [&] {
        for (int i = 0; i < 4; ++i)
            if (shoot().atOnce)
                return true;
        return false;
    };

    ASSERT_TRUE(settle()) << "a still screen still asked the server";
    EXPECT_EQ(pixelAt(shoot().image, 100, 100), kRed);

    desktop->paint(client, {0, 0, 200, 150}, kYellow);
    Shot drawn = shoot();
    EXPECT_FALSE(drawn.atOnce) << "drawing went unheard";
    EXPECT_EQ(pixelAt(drawn.image, 100, 100), kYellow);

    ASSERT_TRUE(settle());
    desktop->setWallpaper(kMagenta);
    Shot wallpaper = shoot();
    EXPECT_FALSE(wallpaper.atOnce) << "a new wallpaper went unheard";
    EXPECT_EQ(pixelAt(wallpaper.image, 600, 20), kMagenta);

    ASSERT_TRUE(settle());
    desktop->redrawWallpaper(kYellow);
    Shot redrawn = shoot();
    EXPECT_FALSE(redrawn.atOnce) << "a wallpaper redrawn in place went unheard";
    EXPECT_EQ(pixelAt(redrawn.image, 600, 20), kYellow) << "a wallpaper redrawn in place kept its old picture";

    // A new shape shows in the very next picture, however many polls of
    // the drawing alone came before.
    ASSERT_TRUE(settle());
    desktop->shape(square, {{0, 0, 30, 60}});
    Shot shaped = shoot();
    EXPECT_FALSE(shaped.atOnce) << "a new shape went unheard";
    EXPECT_EQ(pixelAt(shaped.image, 445, 330), kYellow) << "the window's old shape was painted";

    ASSERT_TRUE(settle());
    int quiet = 1;
    while (quiet < 20 && shoot().atOnce)
        ++quiet;
    EXPECT_EQ(quiet, X11DamageTracker::kQuietPollsBetweenAskedOnes) << "quiet answers in a row";
}

} // namespace
} // namespace hg

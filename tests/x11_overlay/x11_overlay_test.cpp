#include <chrono>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/damage.h>

#include "engine/overlay/mask_geometry.h"
#include "platform/overlay/x11_overlay_surface.h"
#include "support/x_desktop.h"

namespace hg {
namespace {

using testing::Rgb;
using testing::XDesktop;
using namespace std::chrono_literals;

constexpr int W = 800;
constexpr int H = 600;
const Rgb kRed{255, 0, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kGreen{0, 255, 0};
const Rgb kYellow{255, 255, 0};

// Left half red, right half blue, at a tenth of the screen's size.
RgbaImage halvesPicture()
{
    const int w = W / 10, h = H / 10;
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(w * h * 4));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = pixels->data() + (y * w + x) * 4;
            const bool left = x < w / 2;
            p[0] = left ? 255 : 0;
            p[2] = left ? 0 : 255;
            p[3] = 255;
        }
    return {w, h, static_cast<std::size_t>(w) * 4, pixels, 0.1};
}

// The mask: the whole screen less the given holes (display rectangles, square).
Path maskWithHoles(std::initializer_list<Rect> holes)
{
    Path mask;
    mask.addRect({0, 0, W, H});
    for (const Rect& hole : holes)
        mask.addPath(roundedRectPath(layerRect(hole, H), {0, 0, 0, 0}));
    return mask;
}

bool nearColor(Rgb a, Rgb b, int tolerance = 24)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

class X11OverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        desktop = std::make_unique<XDesktop>(testing::XSessionOptions{.width = W, .height = H});
        ASSERT_TRUE(desktop->ok()) << desktop->error();
    }

    std::unique_ptr<X11OverlaySurface> makeOverlay(OverlayRenderMode mode = OverlayRenderMode::shaped)
    {
        auto s = std::make_unique<X11OverlaySurface>(desktop->connection(), desktop->screen(), PixelRect{0, 0, W, H},
                                                     1.0, OverlaySurfaceOptions{}, mode);
        EXPECT_TRUE(s->isValid());
        return s;
    }

    void show(X11OverlaySurface& s, const Path& mask)
    {
        s.beginTransaction(Animation::none);
        s.setPicture(halvesPicture(), Animation::none);
        s.setMask(mask, FillRule::evenOdd);
        s.commitTransaction();
        s.orderFront();
    }

    std::unique_ptr<XDesktop> desktop;
};

TEST_F(X11OverlayTest, ShowsThePictureStretchedToTheScreen)
{
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({}));
    EXPECT_EQ(desktop->pixel(5, 5), kRed);
    EXPECT_EQ(desktop->pixel(W / 2 - 20, H - 5), kRed);
    EXPECT_EQ(desktop->pixel(W / 2 + 20, H / 2), kBlue);
    EXPECT_EQ(desktop->pixel(W - 1, H - 1), kBlue);  // no dark rim at the edge
    // Pictures in the X server's own byte order go up as they are.
    RgbaImage bgra = halvesPicture();
    auto swapped = std::make_shared<std::vector<std::uint8_t>>(*bgra.pixels);
    for (std::size_t i = 0; i < swapped->size(); i += 4)
        std::swap((*swapped)[i], (*swapped)[i + 2]);
    bgra.pixels = swapped;
    bgra.order = PixelOrder::bgra;
    overlay->setPicture(bgra, Animation::none);
    EXPECT_EQ(desktop->pixel(5, 5), kRed);
    // The tint lies over the picture.
    overlay->setTint({1, 1, 1, 1}, 0.5);
    EXPECT_TRUE(nearColor(desktop->pixel(5, 5), {255, 128, 128}, 3)) << toString(desktop->pixel(5, 5));
}

TEST_F(X11OverlayTest, HoleShowsTheClientWindowBeneath)
{
    desktop->makeClient(100, 100, 300, 200, kGreen);
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({Rect{150, 150, 100, 100}}));
    EXPECT_EQ(desktop->pixel(200, 200), kGreen);   // in the hole
    EXPECT_EQ(desktop->pixel(120, 200), kRed);     // the client, covered
    EXPECT_EQ(desktop->pixel(149, 200), kRed);
    EXPECT_EQ(desktop->pixel(150, 200), kGreen);

    // Picture and holes change together: a moved hole shows the new place at once.
    overlay->beginTransaction(Animation::none);
    overlay->setPicture(halvesPicture(), Animation::none);
    overlay->setMask(maskWithHoles({Rect{250, 150, 100, 100}}), FillRule::evenOdd);
    overlay->commitTransaction();
    EXPECT_EQ(desktop->pixel(200, 200), kRed);
    EXPECT_EQ(desktop->pixel(300, 200), kGreen);
}

TEST_F(X11OverlayTest, ClicksGoThroughToTheWindowBeneath)
{
    const xcb_window_t client = desktop->makeClient(100, 100, 300, 200, kGreen, {.eventMask = XCB_EVENT_MASK_BUTTON_PRESS});
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({}));
    ASSERT_EQ(desktop->pixel(200, 200), kRed);  // covered
    desktop->session().run({"xdotool", "mousemove", "200", "200", "click", "1"});
    bool pressed = false;
    for (auto deadline = std::chrono::steady_clock::now() + 3s; !pressed && std::chrono::steady_clock::now() < deadline;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(desktop->connection())) {
            if ((e->response_type & 0x7f) == XCB_BUTTON_PRESS)
                pressed |= reinterpret_cast<xcb_button_press_event_t*>(e)->event == client;
            std::free(e);
        }
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(pressed);
}

TEST_F(X11OverlayTest, OrderedBelowAFrameTheClientStaysAboveAndOthersAreCovered)
{
    desktop->makeClient(50, 50, 200, 200, kYellow);
    const xcb_window_t front = desktop->makeClient(400, 300, 200, 200, kGreen);
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({}));
    overlay->orderBelow(desktop->frameOf(front));
    EXPECT_EQ(desktop->pixel(500, 400), kGreen);
    EXPECT_EQ(desktop->pixel(150, 150), kRed);
    // A client window that is not a frame is refused quietly.
    overlay->orderBelow(front);
    EXPECT_EQ(desktop->pixel(500, 400), kGreen);
}

TEST_F(X11OverlayTest, RaisedLevelStaysBelowDocks)
{
    const xcb_window_t dock = desktop->makeClient(0, 0, W, 30, kYellow, {.dock = true});
    desktop->makeClient(100, 100, 300, 200, kGreen);
    auto overlay = makeOverlay();
    overlay->setLevel(15);
    show(*overlay, maskWithHoles({}));
    EXPECT_EQ(desktop->pixel(10, 10), kYellow);
    EXPECT_EQ(desktop->pixel(200, 200), kRed);
    // Directly below the dock in the stacking order.
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(desktop->connection(),
                                                        xcb_query_tree(desktop->connection(), desktop->screen()->root), nullptr);
    ASSERT_NE(tree, nullptr);
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const int n = xcb_query_tree_children_length(tree);
    int overlayIndex = -1, dockIndex = -1;
    for (int i = 0; i < n; ++i) {
        overlayIndex = children[i] == overlay->windowID() ? i : overlayIndex;
        dockIndex = children[i] == desktop->frameOf(dock) ? i : dockIndex;
    }
    std::free(tree);
    EXPECT_EQ(dockIndex, overlayIndex + 1);

    // When normal windows end up above it (here: the overlay is pushed to the
    // bottom), it takes its place again within a few frame ticks.
    const std::uint32_t bottom = XCB_STACK_MODE_BELOW;
    xcb_configure_window(desktop->connection(), overlay->windowID(), XCB_CONFIG_WINDOW_STACK_MODE, &bottom);
    EXPECT_EQ(desktop->pixel(200, 200), kGreen);
    for (int i = 0; i < 15; ++i)
        overlay->tick(1'000'000'000ull + static_cast<std::uint64_t>(i) * 16'666'667ull);
    EXPECT_EQ(desktop->pixel(200, 200), kRed);
}

TEST_F(X11OverlayTest, RaisedLevelStaysBelowOurOwnWindows)
{
    // Another application's window, and an alert of ours (a window of this
    // process) above it.
    desktop->makeClient(100, 100, 300, 200, kGreen);
    const xcb_window_t alert = desktop->makeClient(300, 300, 200, 100, kYellow);
    const std::uint32_t ours = static_cast<std::uint32_t>(::getpid());
    xcb_intern_atom_reply_t* pidAtom = xcb_intern_atom_reply(
        desktop->connection(), xcb_intern_atom(desktop->connection(), 0, 11, "_NET_WM_PID"), nullptr);
    ASSERT_NE(pidAtom, nullptr);
    xcb_change_property(desktop->connection(), XCB_PROP_MODE_REPLACE, alert, pidAtom->atom, XCB_ATOM_CARDINAL, 32, 1,
                        &ours);
    std::free(pidAtom);
    auto overlay = makeOverlay();
    overlay->setLevel(15);
    show(*overlay, maskWithHoles({}));
    EXPECT_EQ(desktop->pixel(200, 200), kRed);     // the other window, covered
    EXPECT_EQ(desktop->pixel(450, 350), kYellow);  // ours, readable
}

TEST_F(X11OverlayTest, AnOverlayBelowAWindowTakesItsPlaceAgainAfterARestack)
{
    const xcb_window_t focus = desktop->makeClient(100, 100, 300, 200, kGreen);
    desktop->makeClient(0, 0, W, H, kBlue);
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({}));
    overlay->orderBelow(desktop->frameOf(focus));
    EXPECT_EQ(desktop->pixel(W / 2 - 40, H - 40), kBlue);  // the other window lies above both
    // The focus window is raised above the other one: the overlay stays
    // below it, so the other window is covered again within a few ticks.
    desktop->session().run({"xdotool", "windowraise", std::to_string(focus)});
    ASSERT_EQ(desktop->pixel(200, 200), kGreen);
    EXPECT_EQ(desktop->pixel(W / 2 - 40, H - 40), kBlue);
    for (int i = 0; i < 15; ++i)
        overlay->tick(1'000'000'000ull + static_cast<std::uint64_t>(i) * 16'666'667ull);
    EXPECT_EQ(desktop->pixel(W / 2 - 40, H - 40), kRed);
    EXPECT_EQ(desktop->pixel(200, 200), kGreen);
}

TEST_F(X11OverlayTest, AnimatedMaskMovesItsHoleOnFrameTicks)
{
    desktop->makeClient(0, 0, W, H, kGreen);
    auto overlay = makeOverlay();
    overlay->tick(1'000'000'000);
    show(*overlay, maskWithHoles({Rect{100, 250, 100, 100}}));
    overlay->beginTransaction(Animation::maskMove);
    overlay->setMask(maskWithHoles({Rect{500, 250, 100, 100}}), FillRule::evenOdd);
    overlay->commitTransaction();
    EXPECT_EQ(desktop->pixel(150, 300), kGreen);  // not moved before the next tick
    overlay->tick(1'120'000'000);                 // half-way (ease-in-ease-out is symmetric)
    EXPECT_EQ(desktop->pixel(350, 300), kGreen);
    EXPECT_EQ(desktop->pixel(150, 300), kRed);
    EXPECT_TRUE(overlay->isAnimating());
    overlay->tick(1'300'000'000);
    EXPECT_EQ(desktop->pixel(550, 300), kGreen);
    EXPECT_EQ(desktop->pixel(350, 300), kRed);
    EXPECT_FALSE(overlay->isAnimating());
}

TEST_F(X11OverlayTest, ClosingLeavesNoWindowBehind)
{
    desktop->makeClient(100, 100, 300, 200, kGreen);
    auto overlay = makeOverlay();
    show(*overlay, maskWithHoles({}));
    const xcb_window_t id = overlay->windowID();
    ASSERT_EQ(desktop->pixel(200, 200), kRed);
    overlay->close();
    EXPECT_EQ(desktop->pixel(200, 200), kGreen);
    xcb_get_window_attributes_reply_t* gone = xcb_get_window_attributes_reply(
        desktop->connection(), xcb_get_window_attributes(desktop->connection(), id), nullptr);
    EXPECT_EQ(gone, nullptr);
    std::free(gone);
    if (const char* path = std::getenv("HUSHGLASS_OVERLAY_SCREENSHOT"))
        desktop->screenshot(path);
}

TEST(OverlayStacking, WindowManagersThatDrawOverlaysOnTopAreKnownByName)
{
    for (const char* name : {"GNOME Shell", "Mutter", "Mutter (Muffin)", "Mutter(Budgie)", "KWin", "Xfwm4"})
        EXPECT_TRUE(drawsOverrideRedirectOnTop(name)) << name;
    for (const char* name : {"Openbox", "IceWM 3.3.1 (Linux 6.1/x86_64)", "Fluxbox", "i3", ""})
        EXPECT_FALSE(drawsOverrideRedirectOnTop(name)) << name;
}

} // namespace
} // namespace hg

namespace hg {
namespace {

RgbaImage solidPicture(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(16 * 16 * 4);
    for (std::size_t i = 0; i < pixels->size(); i += 4) {
        (*pixels)[i] = r;
        (*pixels)[i + 1] = g;
        (*pixels)[i + 2] = b;
        (*pixels)[i + 3] = 255;
    }
    return {16, 16, 64, pixels, 0.02};
}

TEST_F(X11OverlayTest, FadeInAndCrossFadeAdvanceOnFrameTicks)
{
    desktop->makeClient(0, 0, W, H, kGreen);
    auto overlay = makeOverlay();
    overlay->tick(1'000'000'000);
    overlay->setAlpha(0);
    overlay->beginTransaction(Animation::fadeIn);
    overlay->setAlpha(1);
    overlay->commitTransaction();
    show(*overlay, maskWithHoles({}));
    EXPECT_EQ(desktop->pixel(100, 100), kGreen);  // still transparent
    overlay->tick(1'300'000'000);
    EXPECT_EQ(desktop->pixel(100, 100), kRed);

    overlay->setPicture(solidPicture(0, 0, 255), Animation::crossFade);
    EXPECT_EQ(desktop->pixel(100, 100), kRed);
    overlay->tick(1'375'000'000);  // half of 0.15 s
    EXPECT_TRUE(nearColor(desktop->pixel(100, 100), {128, 0, 128}, 8)) << toString(desktop->pixel(100, 100));
    overlay->tick(1'500'000'000);
    EXPECT_EQ(desktop->pixel(100, 100), kBlue);
    EXPECT_FALSE(overlay->isAnimating());
}

TEST_F(X11OverlayTest, VibrancyShowsAnOpaqueMaterialWithoutACompositor)
{
    desktop->makeClient(0, 0, W, H, kGreen);
    X11OverlaySurface overlay(desktop->connection(), desktop->screen(), PixelRect{0, 0, W, H}, 1.0,
                              {.usesVibrancy = true, .material = Material::menu}, OverlayRenderMode::automatic);
    ASSERT_TRUE(overlay.isValid());
    EXPECT_FALSE(overlay.usesAlpha());  // Xvfb with openbox: no compositing manager
    overlay.setMask(maskWithHoles({Rect{100, 100, 100, 100}}), FillRule::evenOdd);
    overlay.orderFront();
    const Color menu = materialColor(Material::menu, false, false);
    const Rgb expected{static_cast<int>(std::lround(menu.red * 255)), static_cast<int>(std::lround(menu.green * 255)),
                       static_cast<int>(std::lround(menu.blue * 255))};
    EXPECT_TRUE(nearColor(desktop->pixel(400, 400), expected, 2)) << toString(desktop->pixel(400, 400));
    EXPECT_EQ(desktop->pixel(150, 150), kGreen);
}

TEST_F(X11OverlayTest, AlphaModeCarriesTheHolesInItsPixels)
{
    desktop->makeClient(0, 0, W, H, kGreen);
    auto overlay = makeOverlay(OverlayRenderMode::alpha);
    ASSERT_TRUE(overlay->usesAlpha());
    show(*overlay, maskWithHoles({Rect{100, 100, 100, 100}}));
    EXPECT_EQ(desktop->pixel(300, 300), kRed);
    // Without a compositing manager nothing blends the transparent hole with
    // what lies beneath: its premultiplied pixels show as black.
    EXPECT_EQ(desktop->pixel(150, 150), (Rgb{0, 0, 0}));

    // A hole that goes away is covered again, wherever it was.
    for (const Rect hole : {Rect{100, 400, 100, 100}, Rect{600, 100, 100, 80}}) {
        overlay->setMask(maskWithHoles({hole}), FillRule::evenOdd);
        EXPECT_EQ(desktop->pixel(static_cast<int>(hole.midX()), static_cast<int>(hole.midY())), (Rgb{0, 0, 0}));
        // Right up to its edges, and not beyond.
        EXPECT_EQ(desktop->pixel(static_cast<int>(hole.minX()) + 1, static_cast<int>(hole.minY()) + 1), (Rgb{0, 0, 0}));
        EXPECT_EQ(desktop->pixel(static_cast<int>(hole.maxX()) - 2, static_cast<int>(hole.maxY()) - 2), (Rgb{0, 0, 0}));
        EXPECT_NE(desktop->pixel(static_cast<int>(hole.minX()) - 2, static_cast<int>(hole.midY())), (Rgb{0, 0, 0}));
        overlay->setMask(maskWithHoles({}), FillRule::evenOdd);
        EXPECT_EQ(desktop->pixel(static_cast<int>(hole.midX()), static_cast<int>(hole.midY())),
                  hole.midX() < W / 2.0 ? kRed : kBlue)  // the picture's two halves
            << "a hole at " << hole.midX() << "," << hole.midY() << " stayed";
    }
}

// What a compositing manager hears: the areas drawn in a window, reported as
// they happen, on a connection of its own.
class DamageWatch {
public:
    DamageWatch(const std::string& display, xcb_window_t window) : m_c(xcb_connect(display.c_str(), nullptr))
    {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!extension || !extension->present)
            return;
        m_event = extension->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr));
        m_damage = xcb_generate_id(m_c);
        xcb_damage_create(m_c, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(m_c);
    }
    ~DamageWatch() { xcb_disconnect(m_c); }

    [[nodiscard]] bool ok() const { return m_damage != XCB_NONE; }

    // The union of the areas reported since the last call (empty for none),
    // once the server has carried out everything `drawer` asked for.
    Rect drawnSinceLastCall(xcb_connection_t* drawer)
    {
        for (xcb_connection_t* c : {drawer, m_c})
            free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        Rect drawn = Rect::null();
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
            if ((event->response_type & 0x7f) == m_event) {
                const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
                drawn = drawn.united({static_cast<double>(notify->area.x), static_cast<double>(notify->area.y),
                                      static_cast<double>(notify->area.width), static_cast<double>(notify->area.height)});
            }
            free(event);
        }
        return drawn;
    }

private:
    xcb_connection_t* m_c;
    std::uint8_t m_event = 0;
    xcb_damage_damage_t m_damage = XCB_NONE;
};

// A compositing manager can miss drawing that lands inside an area it was
// already told of, between copying the window and clearing its damage. Once
// the drawing pauses, a translucent overlay shows what it drew once more, and
// only once.
TEST_F(X11OverlayTest, AlphaModeShowsWhatItDrewOnceMoreWhenDrawingPauses)
{
    auto overlay = makeOverlay(OverlayRenderMode::alpha);
    ASSERT_TRUE(overlay->usesAlpha());
    overlay->tick(1'000'000'000);
    show(*overlay, maskWithHoles({Rect{100, 250, 100, 100}}));
    DamageWatch compositor(desktop->session().display(), overlay->windowID());
    ASSERT_TRUE(compositor.ok());
    overlay->tick(1'016'000'000);
    overlay->beginTransaction(Animation::maskMove);
    overlay->setMask(maskWithHoles({Rect{500, 250, 100, 100}}), FillRule::evenOdd);
    overlay->commitTransaction();
    for (std::uint64_t t = 1'032'000'000; t <= 1'300'000'000; t += 16'000'000)
        overlay->tick(t);  // the hole moves, then rests from about 1.27 s
    ASSERT_FALSE(overlay->isAnimating());
    (void)compositor.drawnSinceLastCall(desktop->connection());

    overlay->tick(1'340'000'000);
    EXPECT_TRUE(compositor.drawnSinceLastCall(desktop->connection()).isNull()) << "shown again while the drawing had barely paused";
    overlay->tick(1'500'000'000);
    const Rect again = compositor.drawnSinceLastCall(desktop->connection());
    EXPECT_TRUE(again.contains(Rect{100, 250, 500, 100})) << "the hole's whole path was not shown again: " << again.minX() << "," << again.minY() << " " << again.width() << "x" << again.height();
    overlay->tick(1'700'000'000);
    overlay->tick(2'000'000'000);
    EXPECT_TRUE(compositor.drawnSinceLastCall(desktop->connection()).isNull()) << "shown again more than once";
}

} // namespace
} // namespace hg

namespace hg {
namespace {

// A picture of the screen's own size (shown without stretching): the left
// half `left`, the right half `right`.
RgbaImage screenSizePicture(Rgb left, Rgb right)
{
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(W * H * 4));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Rgb c = x < W / 2 ? left : right;
            std::uint8_t* p = pixels->data() + (y * W + x) * 4;
            p[0] = static_cast<std::uint8_t>(c.r);
            p[1] = static_cast<std::uint8_t>(c.g);
            p[2] = static_cast<std::uint8_t>(c.b);
            p[3] = 255;
        }
    return {W, H, static_cast<std::size_t>(W) * 4, pixels, 1.0};
}

// What the window should hold: nothing inside the holes; elsewhere
// `picture`'s colour (unchecked where it has none) at `alpha`.
struct Expected {
    std::vector<Rect> holes;
    std::function<std::optional<Rgb>(int x, int y)> picture;
    int alpha = 255;
};

std::function<std::optional<Rgb>(int, int)> halves(Rgb left, Rgb right)
{
    return [=](int x, int) -> std::optional<Rgb> { return x < W / 2 ? left : right; };
}

// The overlay window's own pixels, premultiplied ARGB: what a compositing
// manager copies to the screen. The first pixel (away from a hole's
// antialiased edge) that is not as expected, described; empty when all are.
std::string wrongPixel(xcb_connection_t* c, xcb_window_t window, const Expected& expected)
{
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, W, H, ~0u), nullptr);
    if (!image || image->depth != 32 || xcb_get_image_data_length(image) < W * H * 4) {
        std::free(image);
        return "the window's pixels cannot be read";
    }
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    const auto within = [](const Rect& r, int x, int y, double margin) {
        return x + 0.5 >= r.minX() - margin && x + 0.5 <= r.maxX() + margin && y + 0.5 >= r.minY() - margin
            && y + 0.5 <= r.maxY() + margin;
    };
    std::string wrong;
    for (int y = 0; y < H && wrong.empty(); ++y)
        for (int x = 0; x < W && wrong.empty(); ++x) {
            const std::uint32_t p = pixels[y * W + x];
            const int a = static_cast<int>(p >> 24), r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            bool inHole = false, nearEdge = false;
            for (const Rect& hole : expected.holes) {
                inHole |= within(hole, x, y, -2);
                nearEdge |= within(hole, x, y, 2);
            }
            const std::string where = "at " + std::to_string(x) + "," + std::to_string(y) + ": ";
            const std::string found = "argb " + std::to_string(a) + "," + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
            if (inHole) {
                if (p != 0)
                    wrong = where + "the hole holds " + found;
                continue;
            }
            if (nearEdge)
                continue;
            if (std::abs(a - expected.alpha) > 2) {
                wrong = where + "alpha " + std::to_string(a) + " outside the holes, not " + std::to_string(expected.alpha);
                continue;
            }
            const std::optional<Rgb> want = expected.picture(x, y);
            const auto premultiplied = [&](int v) { return v * expected.alpha / 255; };
            if (want && !nearColor({r, g, b}, {premultiplied(want->r), premultiplied(want->g), premultiplied(want->b)}, 3))
                wrong = where + found + " instead of the picture's " + toString(*want);
        }
    std::free(image);
    return wrong;
}

// A translucent overlay's window pixels after each kind of change: a new
// picture lies everywhere outside the holes and never inside them, wherever
// the holes and the halo were before, through a tint, a fade and a
// cross-fade, and after a stretched picture.
TEST_F(X11OverlayTest, AlphaModeWindowHoldsThePictureOutsideTheHolesOnly)
{
    desktop->makeClient(0, 0, W, H, kGreen);
    auto overlay = makeOverlay(OverlayRenderMode::alpha);
    ASSERT_TRUE(overlay->usesAlpha());
    overlay->tick(1'000'000'000);
    const Rect h1{100, 100, 150, 120}, h2{420, 300, 200, 150}, h3{440, 60, 160, 100};
    const auto check = [&](const Expected& expected, const char* step) {
        EXPECT_EQ(wrongPixel(desktop->connection(), overlay->windowID(), expected), "") << step;
    };
    const auto swap = [&](const RgbaImage& picture, const Rect& hole, Animation transition) {
        overlay->beginTransaction(Animation::none);
        overlay->setPicture(picture, transition);
        overlay->setMask(maskWithHoles({hole}), FillRule::evenOdd);
        overlay->commitTransaction();
    };
    swap(screenSizePicture(kRed, kBlue), h1, Animation::none);
    overlay->orderFront();
    check({{h1}, halves(kRed, kBlue)}, "the first picture");
    swap(screenSizePicture(kGreen, kYellow), h2, Animation::none);
    check({{h2}, halves(kGreen, kYellow)}, "a new picture whose hole moved");
    overlay->setMask(maskWithHoles({h3}), FillRule::evenOdd);
    check({{h3}, halves(kGreen, kYellow)}, "the hole moved on the same picture");

    // A halo comes, moves and goes: the picture is back where it was.
    const auto halo = [](const Rect& r) {
        return EdgeStroke{{0, 0, 0, 0}, roundedRectPath(layerRect(r, H), {0, 0, 0, 0}), {1, 1, 1, 1}, 6};
    };
    const Rect ring1{100, 350, 200, 150}, ring2{150, 380, 200, 150};
    overlay->setEdge(0, halo(ring1));
    const auto outsideRing = [&](const Rect& ring) {
        return [=](int x, int y) -> std::optional<Rgb> {
            const Rect band = ring.insetBy(-6, -6);
            if (band.contains(Point{x + 0.5, y + 0.5}) && !ring.insetBy(6, 6).contains(Point{x + 0.5, y + 0.5}))
                return std::nullopt;
            return x < W / 2 ? kGreen : kYellow;
        };
    };
    check({{h3}, outsideRing(ring1)}, "a halo");
    EXPECT_TRUE(nearColor(desktop->pixel(200, 350), {255, 255, 255}, 3)) << toString(desktop->pixel(200, 350));
    overlay->setEdge(0, halo(ring2));
    check({{h3}, outsideRing(ring2)}, "the halo moved");
    overlay->setEdge(0, std::nullopt);
    check({{h3}, halves(kGreen, kYellow)}, "the halo gone");

    // A new tint goes on the picture, not into the hole.
    overlay->setTint({1, 1, 1, 1}, 0.5);
    check({{h3}, halves({128, 255, 128}, {255, 255, 128})}, "a new tint");
    overlay->setTint({0, 0, 0, 0}, 0);

    // The window half faded, and back.
    overlay->setAlpha(0.5);
    check({{h3}, halves(kGreen, kYellow), 128}, "half faded");
    overlay->setAlpha(1);
    check({{h3}, halves(kGreen, kYellow)}, "faded back");

    // A cross-fade while the hole moves back: the previous picture's hole
    // never opens, the new one never closes.
    swap(screenSizePicture(kRed, kBlue), h1, Animation::crossFade);
    overlay->tick(1'075'000'000);  // half-way
    check({{h1},
           [&](int x, int y) -> std::optional<Rgb> {
               if (h3.insetBy(-3, -3).contains(Point{x + 0.5, y + 0.5}))
                   return std::nullopt;  // the new picture shows alone where the previous one had its hole
               return x < W / 2 ? Rgb{128, 128, 0} : Rgb{128, 128, 128};
           }},
          "half-way through a cross-fade");
    overlay->tick(1'200'000'000);
    EXPECT_FALSE(overlay->isAnimating());
    check({{h1}, halves(kRed, kBlue)}, "after the cross-fade");

    // A picture of another size is stretched, then one of the screen's size again.
    swap(halvesPicture(), h2, Animation::none);
    check({{h2},
           [](int x, int) -> std::optional<Rgb> {
               if (std::abs(x - W / 2) < 12)
                   return std::nullopt;  // where the stretch blends the halves
               return x < W / 2 ? kRed : kBlue;
           }},
          "a stretched picture");
    swap(screenSizePicture(kYellow, kGreen), h3, Animation::none);
    check({{h3}, halves(kYellow, kGreen)}, "the screen's size again");
    if (const char* path = std::getenv("HUSHGLASS_OVERLAY_SCREENSHOT"))
        desktop->screenshot(path);
}

// The share of each pixel inside `polygons` (even-odd), from 16 × 16 samples.
std::vector<double> coverage(const Polygons& polygons)
{
    constexpr int kSamples = 16;
    std::vector<double> cover(static_cast<std::size_t>(W * H), 0);
    std::vector<double> xs;
    for (int sy = 0; sy < H * kSamples; ++sy) {
        const double y = (sy + 0.5) / kSamples;
        xs.clear();
        for (const Polygon& p : polygons)
            for (std::size_t i = 0; i < p.size(); ++i) {
                const Point a = p[i], b = p[(i + 1) % p.size()];
                if ((a.y <= y) != (b.y <= y))
                    xs.push_back(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y));
            }
        std::sort(xs.begin(), xs.end());
        std::size_t next = 0;
        for (int sx = 0; sx < W * kSamples; ++sx) {
            const double x = (sx + 0.5) / kSamples;
            while (next < xs.size() && xs[next] <= x)
                ++next;
            if (next % 2 == 1)
                cover[static_cast<std::size_t>(sy / kSamples * W + sx / kSamples)] += 1.0 / (kSamples * kSamples);
        }
    }
    return cover;
}

// Holes with curved and slanted edges, off the pixel grid, one with an
// island: every pixel of a translucent overlay is as opaque as the share of
// it outside the holes, before and after the holes move on the same picture.
TEST_F(X11OverlayTest, AlphaModeWindowIsAsOpaqueAsEachPixelIsOutsideTheHoles)
{
    auto overlay = makeOverlay(OverlayRenderMode::alpha);
    ASSERT_TRUE(overlay->usesAlpha());
    const auto holes = [](double dx, double dy) {
        Path mask;
        mask.addRect({0, 0, W, H});
        mask.addPath(roundedRectPath(layerRect(Rect{60.3 + dx, 80.6 + dy, 200.4, 150.2}, H), {20, 20, 20, 20}));
        mask.addRect(layerRect(Rect{120.5 + dx, 120.5 + dy, 40, 30}, H));  // an island, covered again
        mask.addEllipseInRect(layerRect(Rect{330.5 + dx, 90.25 + dy, 180, 120}, H));
        mask.moveTo({560.2 + dx, H - 300.7 - dy});
        mask.lineTo({700.9 + dx, H - 340.1 - dy});
        mask.lineTo({610.4 + dx, H - 480.6 - dy});
        mask.closeSubpath();
        return mask;
    };
    overlay->beginTransaction(Animation::none);
    overlay->setPicture(screenSizePicture(kRed, kBlue), Animation::none);
    overlay->setMask(holes(0, 0), FillRule::evenOdd);
    overlay->commitTransaction();
    overlay->orderFront();
    for (const auto& [dx, dy] : {std::pair{0.0, 0.0}, {7.5, 3.25}}) {
        overlay->setMask(holes(dx, dy), FillRule::evenOdd);
        const std::vector<double> shown = coverage(holes(dx, dy).transformed(1, -1, 0, H).flattened());
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            desktop->connection(), xcb_get_image(desktop->connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, overlay->windowID(), 0, 0, W, H, ~0u), nullptr);
        ASSERT_NE(image, nullptr);
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
        int wrong = 0;
        std::string first;
        for (int i = 0; i < W * H; ++i) {
            const int alpha = static_cast<int>(pixels[i] >> 24);
            const int expected = static_cast<int>(std::lround(shown[static_cast<std::size_t>(i)] * 255));
            if (std::abs(alpha - expected) > 40 && wrong++ == 0)
                first = std::to_string(i % W) + "," + std::to_string(i / W) + ": alpha " + std::to_string(alpha) + ", not " + std::to_string(expected);
        }
        std::free(image);
        EXPECT_EQ(wrong, 0) << "holes moved by " << dx << "," << dy << "; the first at " << first;
    }
}

} // namespace
} // namespace hg

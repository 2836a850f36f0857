// Under a private Xvfb + openbox with 10 client windows (xterm, xlogo and the
// shaped xeyes): the median and 90th percentile time of one capture of a
// 1920×1080 screen and of a 3840×2160 screen to 1600×900 with the front window
// left out, and of the whole pass: capture and blur at the default radius
// (20 points). Then, through the capture service (which takes a picture again
// only when something shown in it changed), one screenshot of the 1920×1080
// screen with nothing changed and after a change of one 100×100 area.
//
//     capture_bench [repeats] [directory for the last pictures, as raw BGRA]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "engine/capture/blur_processor.h"
#include "platform/capture/x11_capture_service.h"
#include "platform/capture/x11_compositor.h"
#include "support/manual_queue.h"
#include "support/x_session.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median = 0;
    double p90 = 0;
};

template <typename F>
Figures measure(int repeats, F&& f)
{
    f();
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)]};
}

// How many windows the window manager lists as managed (`_NET_CLIENT_LIST`).
int managedWindows(xcb_connection_t* c, xcb_window_t root)
{
    constexpr char kName[] = "_NET_CLIENT_LIST";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
    if (!atom)
        return 0;
    xcb_get_property_reply_t* list =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1024), nullptr);
    const int count = list ? xcb_get_property_value_length(list) / 4 : 0;
    std::free(list);
    std::free(atom);
    return count;
}

// Starts the ten windows and waits (at most 30 s) until the window manager
// shows them all, so that a busy machine does not measure an empty desktop.
void spawnWindows(hg::testing::XSession& session, xcb_connection_t* c, xcb_window_t root, int width, int height)
{
    const char* programs[] = {"xterm", "xlogo", "xeyes", "xterm", "xlogo", "xeyes", "xterm", "xlogo", "xeyes", "xterm"};
    for (int i = 0; i < 10; ++i) {
        const int w = width / 4 + (i % 3) * width / 16;
        const int h = height / 4 + (i % 4) * height / 20;
        const int x = (i * width / 11) % (width - w);
        const int y = (i * height / 13) % (height - h);
        const std::string geometry = std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) + "+"
            + std::to_string(y);
        if (std::string(programs[i]) == "xterm")
            session.spawn({"xterm", "-geometry", "80x24+" + std::to_string(x) + "+" + std::to_string(y), "-e",
                           "sh", "-c", "ls -l /usr/bin | head -40; sleep 600"});
        else
            session.spawn({programs[i], "-geometry", geometry});
    }
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    int shown = 0;
    while ((shown = managedWindows(c, root)) < 10 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (shown < 10)
        std::printf("only %d of 10 windows shown after 30 s\n", shown);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // and drawn
}

xcb_window_t frontWindow(xcb_connection_t* c, xcb_window_t root)
{
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    xcb_window_t front = XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0 && !front; --i) {
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr);
        if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && g->width > 50)
            front = children[i];
        std::free(a);
        std::free(g);
    }
    std::free(tree);
    return front;
}

void write(const char* dir, const std::string& name, const hg::CapturedImage& image)
{
    if (!dir)
        return;
    std::ofstream f(std::string(dir) + "/" + name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(image.row(0)), static_cast<std::streamsize>(image.pixels->size()));
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 41;
    const char* dir = argc > 2 ? argv[2] : nullptr;
    if (!hg::testing::XSession::available()) {
        std::printf("capture_bench: Xvfb or openbox is not installed\n");
        return 0;
    }
    std::printf("capture_bench: Xvfb + openbox, 10 windows, median / p90 of %d runs\n", repeats);
    std::printf("%-22s %10s %10s %12s %12s %8s\n", "screen -> picture", "capture", "p90", "capture+blur", "p90",
                "windows");
    for (auto [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        hg::testing::XSession session({.width = width, .height = height});
        if (!session.ok()) {
            std::printf("cannot start Xvfb: %s\n", session.error().c_str());
            return 1;
        }
        xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        spawnWindows(session, c, screen->root, width, height);
        // Gone before the connection it uses.
        auto owned = std::make_unique<hg::X11Compositor>(c, screen);
        hg::X11Compositor& compositor = *owned;
        if (!compositor.isReady()) {
            std::printf("cannot capture: %s\n", compositor.problem().c_str());
            return 1;
        }
        const std::vector<xcb_window_t> excluded{frontWindow(c, screen->root)};
        const hg::Rect source(0, 0, width, height);
        const double scale = 1600.0 / width;  // pixels per point of the picture
        const hg::Rect hole(200 * scale, 300 * scale, 600 * scale, 400 * scale);
        std::optional<hg::CapturedImage> image;
        std::optional<hg::BlurredFrame> frame;
        const Figures capture = measure(repeats, [&] { image = compositor.capture(source, 1600, 900, excluded); });
        const Figures pass = measure(repeats, [&] {
            image = compositor.capture(source, 1600, 900, excluded);
            frame = hg::BlurProcessor::blur(*image, hole, true, scale, 20);
        });
        const std::string name = std::to_string(width) + "x" + std::to_string(height) + " -> 1600x900";
        std::printf("%-22s %10.2f %10.2f %12.2f %12.2f %8d\n", name.c_str(), capture.median, capture.p90,
                    pass.median, pass.p90, compositor.lastWindowCount());
        std::fflush(stdout);
        if (width == 1920) {
            // A 100×100 window of the bench's own, painted another colour before each shot.
            const xcb_window_t square = xcb_generate_id(c);
            const std::uint32_t values[] = {screen->white_pixel, 1};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, square, screen->root, 900, 500, 100, 100, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                              XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
            xcb_map_window(c, square);
            const xcb_gcontext_t gc = xcb_generate_id(c);
            xcb_create_gc(c, gc, square, 0, nullptr);
            hg::testing::ManualPool pool;
            hg::X11CaptureService service(c, screen, pool, [&] {
                return std::vector<hg::ShareableDisplay>{{1, source, 1}};
            });
            service.setActive(true);
            const hg::ContentFilter filter{{1, source, 1}, {excluded.begin(), excluded.end()}};
            const auto shoot = [&] {
                service.screenshot(filter, {.width = 1600, .height = 900}, [&](auto i) { image = std::move(i); });
                pool.runAll();
            };
            std::uint32_t colour = 0;
            const auto paint = [&] {
                colour = colour == 0x00ff0000 ? 0x000000ff : 0x00ff0000;
                xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
                const xcb_rectangle_t all{0, 0, 100, 100};
                xcb_poly_fill_rectangle(c, square, gc, 1, &all);
                std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // drawn
            };
            shoot();
            const Figures still = measure(repeats, shoot);
            std::vector<double> ms;
            for (int i = 0; i < repeats; ++i) {
                paint();
                const auto t0 = Clock::now();
                shoot();
                ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
            std::sort(ms.begin(), ms.end());
            std::printf("%-22s %10.2f %10.2f   (service: nothing changed)\n", "1920x1080 -> 1600x900", still.median,
                        still.p90);
            std::printf("%-22s %10.2f %10.2f   (service: a 100x100 area changed)\n", "1920x1080 -> 1600x900",
                        ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)]);
            std::printf("%-22s taken %llu, answered again %llu\n", "  service pictures",
                        static_cast<unsigned long long>(service.counts().taken),
                        static_cast<unsigned long long>(service.counts().reused));
            service.setActive(false);
        }
        if (image && frame) {
            write(dir, "capture_" + std::to_string(width) + ".bgra", *image);
            write(dir, "blurred_" + std::to_string(width) + ".bgra", frame->image);
        }
        owned.reset();
        xcb_disconnect(c);
    }
    return 0;
}

#include "e2e_desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <xcb/shape.h>

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kTile = 64;  // pixels; window backgrounds repeat this noise tile

std::vector<std::uint32_t> noise(int width, int height, int seed, int block)
{
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width * height));
    for (int by = 0; by < height; by += block)
        for (int bx = 0; bx < width; bx += block) {
            const std::uint32_t colour = random() & 0xffffff;
            for (int y = by; y < std::min(height, by + block); ++y)
                for (int x = bx; x < std::min(width, bx + block); ++x)
                    out[static_cast<std::size_t>(y * width + x)] = colour;
        }
    return out;
}

std::string makeTempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "hushglass-e2e-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

// How to start each window manager, given a folder of its own for files.
// mutter and kwin_x11 want a session bus; each gets a private one that ends
// with it.
std::vector<std::string> windowManagerCommand(const std::string& name, const std::string& folder)
{
    if (name == "openbox")
        return {"openbox", "--sm-disable"};
    if (name == "i3") {
        // A bare configuration: no bar, no programs started, no wizard.
        const std::string config = folder + "/i3.config";
        std::ofstream(config) << "# i3 config file (v4)\nfont pango:monospace 8\n";
        return {"i3", "-c", config};
    }
    if (name == "mutter")
        return {"dbus-run-session", "--", "mutter", "--x11", "--replace"};
    if (name == "kwin_x11")
        return {"dbus-run-session", "--", "kwin_x11", "--replace"};
    return {name};  // icewm, fluxbox, xfwm4: their defaults
}

} // namespace

const std::vector<std::string>& windowManagers()
{
    static const std::vector<std::string> names{"openbox", "icewm", "fluxbox", "i3", "xfwm4", "mutter", "kwin_x11"};
    return names;
}

bool windowManagerInstalled(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= all.size();) {
        const std::size_t end = std::min(all.find(':', start), all.size());
        if (::access((all.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool Screenshot::sameIn(const Screenshot& other, const PixelRect& rect) const
{
    for (int y = std::max(0, rect.y); y < std::min(height, rect.y + rect.height); ++y)
        for (int x = std::max(0, rect.x); x < std::min(width, rect.x + rect.width); ++x)
            if (at(x, y) != other.at(x, y))
                return false;
    return true;
}

double Screenshot::highFrequencyEnergy(const PixelRect& rect, const std::vector<PixelRect>& skip, int margin) const
{
    auto skipped = [&](int x, int y) {
        for (const PixelRect& s : skip)
            if (s.inset(-margin).contains(x, y))
                return true;
        return false;
    };
    auto difference = [](std::uint32_t a, std::uint32_t b) {
        double sum = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const double d = static_cast<double>((a >> shift) & 0xff) - static_cast<double>((b >> shift) & 0xff);
            sum += d * d;
        }
        return sum;
    };
    double energy = 0;
    for (int y = std::max(0, rect.y); y < std::min(height - 1, rect.y + rect.height); ++y)
        for (int x = std::max(0, rect.x); x < std::min(width - 1, rect.x + rect.width); ++x)
            if (!skipped(x, y))
                energy += difference(at(x, y), at(x + 1, y)) + difference(at(x, y), at(x, y + 1));
    return energy;
}

void Screenshot::save(const std::string& path) const
{
    QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4, QImage::Format_RGB32);
    image.save(QString::fromStdString(path));
}

E2eDesktop::E2eDesktop(int width, int height, const std::string& windowManager)
    : m_session({.width = width, .height = height, .windowManager = false}), m_width(width), m_height(height)
{
    if (!m_session.ok()) {
        m_error = m_session.error();
        return;
    }
    m_temp = makeTempFolder();
    std::filesystem::create_directories(m_temp + "/config/hushglass");
    for (const char* folder : {"/runtime", "/wm/runtime"}) {
        std::filesystem::create_directories(m_temp + folder);
        std::filesystem::permissions(m_temp + folder, std::filesystem::perms::owner_all);
    }

    // The window manager leads a process group of its own, so that what it
    // started (a session bus, helpers) ends with it.
    const std::string home = m_temp + "/wm";
    m_windowManager = m_session.spawn(windowManagerCommand(windowManager, home),
                                      {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                                       "XDG_CACHE_HOME=" + home + "/cache", "XDG_DATA_HOME=" + home + "/data",
                                       "XDG_RUNTIME_DIR=" + home + "/runtime"});
    if (m_windowManager < 0 || !m_session.waitForWindowManager()) {
        m_error = windowManager + " did not start";
        return;
    }

    std::vector<std::uint32_t> wallpaper = noise(width, height, 7, 4);
    const std::string wallpaperPath = m_temp + "/wallpaper.png";
    QImage(reinterpret_cast<const uchar*>(wallpaper.data()), width, height, width * 4, QImage::Format_RGB32)
        .save(QString::fromStdString(wallpaperPath));
    if (m_session.run({"hsetroot", "-fill", wallpaperPath}) != 0)
        m_error = "hsetroot failed";

    m_c = xcb_connect(m_session.display().c_str(), nullptr);
    if (xcb_connection_has_error(m_c)) {
        m_error = "no connection to " + m_session.display();
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    m_client = std::make_unique<TestClient>(m_session.display());
    if (!m_client->ok())
        m_error = "the test client did not start";
}

E2eDesktop::~E2eDesktop()
{
    if (m_program > 0)
        stopProgram();
    m_client.reset();
    if (m_c)
        xcb_disconnect(m_c);
    if (m_windowManager > 0) {
        ::kill(-m_windowManager, SIGTERM);
        m_session.stop(m_windowManager);
        ::kill(-m_windowManager, SIGKILL);  // whatever of its group outlived it
    }
    // A helper of the window manager (xfwm4's settings daemon) can still be
    // writing its cache there while it dies: try again for a moment.
    std::error_code error;
    for (int attempt = 0; !m_temp.empty() && attempt < 20; ++attempt) {
        if (std::filesystem::remove_all(m_temp, error) != static_cast<std::uintmax_t>(-1) && !error)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

xcb_window_t E2eDesktop::openPatterned(const std::string& arguments, int seed)
{
    return openPatterned(*m_client, arguments, seed);
}

xcb_window_t E2eDesktop::openPatterned(TestClient& client, const std::string& arguments, int seed)
{
    const xcb_window_t window = client.open(arguments);
    if (window == 0)
        return 0;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    const xcb_pixmap_t tile = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, screen->root_depth, tile, m_root, kTile, kTile);
    const xcb_gcontext_t gc = xcb_generate_id(m_c);
    xcb_create_gc(m_c, gc, tile, 0, nullptr);
    const std::vector<std::uint32_t> pixels = noise(kTile, kTile, seed, 2);
    xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, tile, gc, kTile, kTile, 0, 0, 0, screen->root_depth,
                  static_cast<std::uint32_t>(pixels.size() * 4), reinterpret_cast<const std::uint8_t*>(pixels.data()));
    xcb_change_window_attributes(m_c, window, XCB_CW_BACK_PIXMAP, &tile);
    xcb_clear_area(m_c, 0, window, 0, 0, 0, 0);
    xcb_free_gc(m_c, gc);
    xcb_free_pixmap(m_c, tile);  // the window keeps it
    sync();
    return window;
}

PixelRect E2eDesktop::clientRect(xcb_window_t client)
{
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, client), nullptr);
    xcb_translate_coordinates_reply_t* t
        = xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, client, m_root, 0, 0), nullptr);
    PixelRect rect;
    if (g && t)
        rect = {t->dst_x, t->dst_y, g->width, g->height};
    std::free(g);
    std::free(t);
    return rect;
}

xcb_window_t E2eDesktop::frameOf(xcb_window_t client)
{
    xcb_window_t window = client;
    for (;;) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr);
        if (!tree)
            return window;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == m_root || parent == XCB_NONE)
            return window;
        window = parent;
    }
}

std::vector<xcb_window_t> E2eDesktop::stackingOrder()
{
    std::vector<xcb_window_t> children;
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr)) {
        const xcb_window_t* list = xcb_query_tree_children(tree);
        children.assign(list, list + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    return children;
}

std::vector<OverlayWindow> E2eDesktop::overlays()
{
    static constexpr char kClass[] = "hushglass-overlay";
    std::vector<OverlayWindow> found;
    for (const xcb_window_t window : stackingOrder()) {
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 16), nullptr);
        const bool ours = p && xcb_get_property_value_length(p) > static_cast<int>(sizeof kClass) - 1
            && std::memcmp(xcb_get_property_value(p), kClass, sizeof kClass) == 0;
        std::free(p);
        if (!ours)
            continue;
        xcb_get_window_attributes_reply_t* a
            = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
        const bool mapped = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        xcb_shape_get_rectangles_reply_t* shape = xcb_shape_get_rectangles_reply(
            m_c, xcb_shape_get_rectangles(m_c, window, XCB_SHAPE_SK_BOUNDING), nullptr);
        const bool shaped = shape && shape->rectangles_len > 0;
        std::free(shape);
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr);
        const PixelRect rect = g ? PixelRect{g->x, g->y, g->width, g->height} : PixelRect{};
        std::free(g);
        found.push_back({window, mapped, mapped && shaped, rect});
    }
    return found;
}

Screenshot E2eDesktop::screenshot()
{
    Screenshot shot;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0, static_cast<std::uint16_t>(m_width),
                           static_cast<std::uint16_t>(m_height), ~0u),
        nullptr);
    if (!image)
        return shot;
    shot.width = m_width;
    shot.height = m_height;
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    shot.pixels.assign(data, data + static_cast<std::size_t>(m_width * m_height));
    for (std::uint32_t& p : shot.pixels)
        p &= 0xffffff;
    std::free(image);
    return shot;
}

Screenshot E2eDesktop::settledScreenshot()
{
    Screenshot last = screenshot();
    for (const auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(150ms);
        Screenshot now = screenshot();
        if (now.pixels == last.pixels)
            return now;
        last = std::move(now);
    }
    return last;
}

xcb_window_t E2eDesktop::inputFocus()
{
    xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr);
    const xcb_window_t window = focus ? focus->focus : XCB_NONE;
    std::free(focus);
    return window;
}

void E2eDesktop::sync()
{
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

void E2eDesktop::writeDefaults(const std::string& json)
{
    std::ofstream(m_temp + "/config/hushglass/defaults.json") << json;
}

bool E2eDesktop::startProgram(const std::vector<std::string>& environment, const char* binary)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const std::string config = m_temp + "/config", runtime = m_temp + "/runtime";
    m_output.clear();
    m_exitStatus.reset();
    m_program = ::fork();
    if (m_program == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        ::setenv("DISPLAY", m_session.display().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ::unsetenv("QT_QPA_PLATFORM");
        for (const std::string& variable : environment)
            ::putenv(::strdup(variable.c_str()));
        const char* program = binary ? binary : HUSHGLASS_BINARY;
        ::execl(program, program, nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    m_programErr = fds[0];
    return eventually([this] { return programOutput().find("Hushglass: running") != std::string::npos; }, 15s);
}

int E2eDesktop::stopProgram()
{
    if (m_program <= 0)
        return -1;
    int status = m_exitStatus.value_or(0);
    pid_t reaped = m_exitStatus ? m_program : 0;
    if (!m_exitStatus) {
        ::kill(m_program, SIGTERM);
        for (int i = 0; i < 250 && (reaped = ::waitpid(m_program, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(20ms);
    }
    if (reaped == 0) {
        ::kill(m_program, SIGKILL);
        ::waitpid(m_program, &status, 0);
    }
    programOutput();
    ::close(m_programErr);
    m_programErr = -1;
    m_program = -1;
    m_exitStatus.reset();
    return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool E2eDesktop::programRunning()
{
    if (m_program <= 0 || m_exitStatus)
        return false;
    int status = 0;
    if (::waitpid(m_program, &status, WNOHANG) == 0)
        return true;
    m_exitStatus = status;
    return false;
}

const std::string& E2eDesktop::programOutput()
{
    char buffer[1024];
    ssize_t n = 0;
    while (m_programErr >= 0 && (n = ::read(m_programErr, buffer, sizeof buffer)) > 0)
        m_output.append(buffer, static_cast<std::size_t>(n));
    return m_output;
}

bool showsPattern(const Screenshot& shot, const PixelRect& rect, int seed, int corner)
{
    const std::vector<std::uint32_t> tile = noise(kTile, kTile, seed, 2);
    if (rect.x < 0 || rect.y < 0 || rect.x + rect.width > shot.width || rect.y + rect.height > shot.height)
        return false;
    for (int y = 0; y < rect.height; ++y)
        for (int x = 0; x < rect.width; ++x) {
            const bool inCorner = (x < corner || x >= rect.width - corner) && (y < corner || y >= rect.height - corner);
            if (!inCorner && shot.at(rect.x + x, rect.y + y) != tile[static_cast<std::size_t>((y % kTile) * kTile + x % kTile)])
                return false;
        }
    return true;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(40ms);
    }
}

std::string effectDefaults(const std::string& extra)
{
    return R"({"enabled": true, "revealCursor": false)" + (extra.empty() ? "" : ", " + extra) + "}";
}

bool blurred(const Screenshot& now, const Screenshot& before, const PixelRect& region,
             const std::vector<PixelRect>& sharp)
{
    constexpr int kMargin = 48;  // pixels
    const double original = before.highFrequencyEnergy(region, sharp, kMargin);
    return original > 0 && now.highFrequencyEnergy(region, sharp, kMargin) <= 0.1 * original;
}

double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stod(field);
        if (i == 15)
            stime = std::stod(field);
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace hg::testing

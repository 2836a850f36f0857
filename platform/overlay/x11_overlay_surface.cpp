#include "platform/overlay/x11_overlay_surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include <xcb/shape.h>

#include "base/log.h"
#include "engine/overlay/path_boolean.h"
#include "platform/overlay/x11_overlay_stacking.h"

namespace hg {
namespace {

using x11::internAtom;

struct Free {
    void operator()(void* p) const { std::free(p); }
};

std::optional<xcb_visualid_t> argbVisual(xcb_screen_t* screen)
{
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return v.data->visual_id;
    }
    return std::nullopt;
}

void setProperty(xcb_connection_t* c, xcb_window_t w, const char* name, xcb_atom_t type, std::uint8_t format,
                 std::uint32_t count, const void* data)
{
    const xcb_atom_t atom = internAtom(c, name);
    if (atom != XCB_ATOM_NONE)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom, type, format, count, data);
}

bool rootSupports(xcb_connection_t* c, xcb_window_t root, const char* name)
{
    const xcb_atom_t supported = internAtom(c, "_NET_SUPPORTED");
    const xcb_atom_t wanted = internAtom(c, name);
    std::unique_ptr<xcb_get_property_reply_t, Free> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!r || r->format != 32 || wanted == XCB_ATOM_NONE)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r.get()));
    const int n = xcb_get_property_value_length(r.get()) / 4;
    return std::find(atoms, atoms + n, wanted) != atoms + n;
}

} // namespace

Color materialColor(Material material, bool translucent, bool blurBehind)
{
    // Dark greys after the dark appearance of each material. Translucent only
    // as far as nothing behind stays readable: much where the compositor blurs
    // the background, barely where it does not.
    const double alpha = !translucent ? 1 : blurBehind ? 0.78 : 0.94;
    switch (material) {
    case Material::hudWindow: return {0.12, 0.12, 0.13, alpha};
    case Material::underWindowBackground: return {0.17, 0.17, 0.18, alpha};
    case Material::fullScreenUI: return {0.10, 0.10, 0.11, alpha};
    case Material::menu: return {0.21, 0.21, 0.22, alpha};
    }
    return {0.15, 0.15, 0.15, alpha};
}

X11OverlaySurface::X11OverlaySurface(xcb_connection_t* connection, xcb_screen_t* screen, PixelRect geometry,
                                     double pixelsPerPoint, const OverlaySurfaceOptions& options, OverlayRenderMode mode)
    : m_c(connection)
    , m_root(screen->root)
    , m_geometry(geometry)
    , m_scale(pixelsPerPoint > 0 ? pixelsPerPoint : 1)
    , m_vibrancy(options.usesVibrancy)
    , m_material(options.material)
{
    int screenNumber = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(m_c)); it.rem && it.data->root != m_root; xcb_screen_next(&it))
        ++screenNumber;
    m_alphaMode = mode == OverlayRenderMode::alpha
        || (mode == OverlayRenderMode::automatic && compositingManagerRunning(m_c, screenNumber));
    m_alpha.to = 1;
    createWindow(screen);
}

X11OverlaySurface::~X11OverlaySurface()
{
    close();
    if (m_destroyHook)
        m_destroyHook();
}

bool X11OverlaySurface::compositingManagerRunning(xcb_connection_t* connection, int screenNumber)
{
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
    const xcb_atom_t atom = internAtom(connection, name.c_str());
    if (atom == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, Free> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

void X11OverlaySurface::createWindow(xcb_screen_t* screen)
{
    std::optional<xcb_visualid_t> visual = m_alphaMode ? argbVisual(screen) : std::nullopt;
    if (m_alphaMode && !visual) {
        logLine("Hushglass: no 32-bit visual for the overlay; cutting its holes with SHAPE instead");
        m_alphaMode = false;
    }
    const std::uint8_t depth = m_alphaMode ? 32 : screen->root_depth;
    const xcb_visualid_t visualId = m_alphaMode ? *visual : screen->root_visual;
    m_window = xcb_generate_id(m_c);
    std::vector<std::uint32_t> values{0, 0, 1};  // background pixel, border pixel, override-redirect
    std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT;
    if (m_alphaMode) {
        m_colormap = xcb_generate_id(m_c);
        xcb_create_colormap(m_c, XCB_COLORMAP_ALLOC_NONE, m_colormap, m_root, visualId);
        values.push_back(m_colormap);
        mask |= XCB_CW_COLORMAP;
    }
    xcb_create_window(m_c, depth, m_window, m_root, static_cast<std::int16_t>(m_geometry.x),
                      static_cast<std::int16_t>(m_geometry.y), static_cast<std::uint16_t>(m_geometry.width),
                      static_cast<std::uint16_t>(m_geometry.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visualId, mask,
                      values.data());
    // Clicks go through to the windows beneath; nothing shows until the first mask.
    xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, m_window, 0, 0, 0, nullptr);
    if (!m_alphaMode)
        xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, m_window, 0, 0, 0, nullptr);
    describeWindow();
    m_renderer = std::make_unique<X11OverlayRenderer>(m_c, m_window, visualId, depth, m_geometry.width,
                                                      m_geometry.height, m_alphaMode);
    if (!m_renderer->isValid())
        logLine("Hushglass: the overlay cannot draw on this X server");
    m_pending.base = true;
    present();
}

void X11OverlaySurface::describeWindow()
{
    static constexpr char kClass[] = "hushglass-overlay\0Hushglass";
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof kClass, kClass);
    static constexpr char kName[] = "Hushglass overlay";
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof kName - 1, kName);
    const std::uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};  // InputHint, input = False: never focused
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    const std::uint32_t marker = 1;
    setProperty(m_c, m_window, kOverlayMarkerProperty, XCB_ATOM_CARDINAL, 32, 1, &marker);
    // X11 cannot keep other programs from reading the overlay (sharing type
    // none): Hushglass's own captures leave every window so marked out.
    if (m_alphaMode && m_vibrancy) {
        // An empty region asks the compositor to blur behind the whole window.
        m_blurBehind = rootSupports(m_c, m_root, "_KDE_NET_WM_BLUR_BEHIND_REGION");
        setProperty(m_c, m_window, "_KDE_NET_WM_BLUR_BEHIND_REGION", XCB_ATOM_CARDINAL, 32, 0, nullptr);
    }
}

void X11OverlaySurface::orderFront()
{
    if (m_window == XCB_NONE)
        return;
    place();
    if (!m_mapped)
        xcb_map_window(m_c, m_window);
    m_mapped = true;
    xcb_flush(m_c);
}

void X11OverlaySurface::place()
{
    m_ticksSincePlaced = 0;
    m_below = XCB_NONE;
    if (!m_stacking)
        m_stacking = std::make_shared<X11OverlayStacking>(m_c, m_root);
    const std::optional<xcb_window_t> sibling = m_stacking->siblingAboveLevel(m_window, m_level);
    if (sibling) {
        const std::uint32_t values[] = {*sibling, XCB_STACK_MODE_BELOW};
        xcb_discard_reply(m_c, xcb_configure_window_checked(m_c, m_window, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values).sequence);
        return;
    }
    const std::uint32_t top = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_c, m_window, XCB_CONFIG_WINDOW_STACK_MODE, &top);
}

void X11OverlaySurface::keepLevel()
{
    // X has no window levels: a window the window manager raises lands above a
    // raised overlay, or between the focus window and the overlay below it, so
    // the overlay takes its place again every few frames.
    if (!m_mapped || ++m_ticksSincePlaced < kLevelCheckTicks)
        return;
    if (m_below != XCB_NONE) {
        m_ticksSincePlaced = 0;
        restackBelow(m_below);
    } else if (m_level > 0) {
        place();
    } else {
        return;
    }
    xcb_flush(m_c);
}

void X11OverlaySurface::orderBelow(std::uint32_t windowID)
{
    if (m_window == XCB_NONE || windowID == m_window)
        return;
    restackBelow(windowID);
    m_below = windowID;
    m_ticksSincePlaced = 0;
    if (!m_mapped)
        xcb_map_window(m_c, m_window);
    m_mapped = true;
    xcb_flush(m_c);
}

void X11OverlaySurface::restackBelow(xcb_window_t sibling)
{
    // The sibling must be a top-level window (a root child, the frame); any
    // other window answers BadMatch, which is dropped.
    const std::uint32_t values[] = {sibling, XCB_STACK_MODE_BELOW};
    xcb_discard_reply(m_c, xcb_configure_window_checked(m_c, m_window, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values).sequence);
}

void X11OverlaySurface::orderOut()
{
    if (m_window == XCB_NONE || !m_mapped)
        return;
    xcb_unmap_window(m_c, m_window);
    m_mapped = false;
    xcb_flush(m_c);
}

void X11OverlaySurface::close()
{
    if (m_window == XCB_NONE)
        return;
    m_renderer.reset();
    xcb_destroy_window(m_c, m_window);
    if (m_colormap != XCB_NONE)
        xcb_free_colormap(m_c, m_colormap);
    m_colormap = XCB_NONE;
    xcb_flush(m_c);
    m_window = XCB_NONE;
    m_mapped = false;
}

void X11OverlaySurface::setLevel(int level)
{
    m_level = level;
    if (m_mapped) {
        place();
        xcb_flush(m_c);
    }
}

} // namespace hg

#include "platform/overlay/x11_overlay_factory.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/x11/own_windows.h"

namespace hg {
namespace {

constexpr double kPixelsPerPoint = 1;

// Captures leave out the windows with the marker the surfaces set.
static_assert(std::string_view(kOwnOverlayMarker) == std::string_view(kOverlayMarkerProperty));

} // namespace

X11OverlaySurfaceFactory::X11OverlaySurfaceFactory(xcb_connection_t* connection, xcb_screen_t* screen,
                                                   const ScreenSource& screens, OverlayRenderMode mode)
    : m_connection(connection), m_screen(screen), m_screens(screens), m_mode(mode),
      m_stacking(std::make_shared<X11OverlayStacking>(connection, screen->root))
{
}

void X11OverlaySurfaceFactory::setWindowModel(std::shared_ptr<x11::WindowModel> model)
{
    m_stacking = std::make_shared<X11OverlayStacking>(m_connection, m_screen->root, std::move(model));
}

PixelRect X11OverlaySurfaceFactory::pixelGeometry(const Screen& screen) const
{
    std::optional<Rect> bounds = screen.displayNumber ? m_screens.displayBounds(*screen.displayNumber) : std::nullopt;
    if (!bounds) {
        // Flip the bottom-left frame against the primary screen's height.
        const std::vector<Screen> all = m_screens.screens();
        const double primaryHeight = all.empty() ? screen.frame.height() : all.front().frame.height();
        bounds = Rect{screen.frame.minX(), primaryHeight - screen.frame.maxY(), screen.frame.width(), screen.frame.height()};
    }
    return {static_cast<int>(std::lround(bounds->minX())), static_cast<int>(std::lround(bounds->minY())),
            static_cast<int>(std::lround(bounds->width())), static_cast<int>(std::lround(bounds->height()))};
}

std::unique_ptr<OverlaySurface> X11OverlaySurfaceFactory::makeSurface(const Screen& screen,
                                                                      const OverlaySurfaceOptions& options)
{
    // A point is a root pixel: the backing scale factor (Qt's device pixel
    // ratio) scales the blur radius only, never the overlay's geometry.
    auto surface = std::make_unique<X11OverlaySurface>(m_connection, m_screen, pixelGeometry(screen),
                                                       kPixelsPerPoint, options, m_mode);
    // Window lists tell it is ours by its pid, even without X-Resource.
    if (surface->windowID() != XCB_NONE) {
        markAsOurs(m_connection, surface->windowID());
        xcb_flush(m_connection);
    }
    surface->setStacking(m_stacking);
    X11OverlaySurface* raw = surface.get();
    m_live->push_back(raw);
    surface->setDestroyHook([weak = std::weak_ptr(m_live), raw] {
        if (auto live = weak.lock())
            std::erase(*live, raw);
    });
    return surface;
}

void X11OverlaySurfaceFactory::tick(std::uint64_t nowNanos)
{
    m_stacking->refresh(nowNanos);
    for (X11OverlaySurface* surface : *m_live)
        surface->tick(nowNanos);
}

bool X11OverlaySurfaceFactory::honoursStacking() const
{
    return m_stacking->windowManagerHonoursStacking();
}

bool X11OverlaySurfaceFactory::isAnimating() const
{
    return std::any_of(m_live->begin(), m_live->end(), [](const X11OverlaySurface* s) { return s->isAnimating(); });
}

} // namespace hg

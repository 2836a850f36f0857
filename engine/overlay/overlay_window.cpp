#include "engine/overlay/overlay_window.h"

#include <algorithm>

namespace hg {

OverlayWindow::OverlayWindow(std::unique_ptr<OverlaySurface> surface)
    : m_surface(std::move(surface))
    , m_windowID(m_surface->windowID())
{
}

OverlayWindow::~OverlayWindow()
{
    close();
}

void OverlayWindow::orderFront()
{
    if (m_closed)
        return;
    m_surface->orderFront();
    m_visible = true;
}

void OverlayWindow::orderBelow(std::uint32_t windowID)
{
    if (m_closed)
        return;
    m_surface->orderBelow(windowID);
    m_visible = true;
}

void OverlayWindow::orderOut()
{
    if (m_closed)
        return;
    m_surface->orderOut();
    m_visible = false;
}

void OverlayWindow::close()
{
    if (m_closed)
        return;
    m_surface->close();
    m_closed = true;
    m_visible = false;
}

void OverlayWindow::setLevel(int level)
{
    if (m_closed)
        return;
    m_level = level;
    m_surface->setLevel(level);
}

void OverlayWindow::setAlpha(double alpha)
{
    if (m_closed)
        return;
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    m_surface->setAlpha(m_alpha);
}

} // namespace hg

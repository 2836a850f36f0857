// The window of one overlay: borderless, click-through, never key or main,
// covering one screen. The controller moves it in the window order and closes
// it; it recognises its own overlays by asking `owns(windowID)`.
//
// Owned by its `BlurOverlay`; main thread only. Once closed, every window
// operation is ignored; a window that was never closed is closed when this
// object goes, so no overlay outlives its owner.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/overlay/overlay_surface.h"

namespace hg {

class OverlayWindow {
public:
    explicit OverlayWindow(std::unique_ptr<OverlaySurface> surface);
    ~OverlayWindow();
    OverlayWindow(const OverlayWindow&) = delete;
    OverlayWindow& operator=(const OverlayWindow&) = delete;

    [[nodiscard]] bool canBecomeKeyWindow() const { return false; }
    [[nodiscard]] bool canBecomeMainWindow() const { return false; }

    [[nodiscard]] std::uint32_t windowID() const { return m_windowID; }
    [[nodiscard]] bool owns(std::uint32_t windowID) const { return !m_closed && windowID == m_windowID; }

    void orderFront();
    void orderBelow(std::uint32_t windowID);
    void orderOut();
    void close();
    void setLevel(int level);
    void setAlpha(double alpha);

    [[nodiscard]] bool isVisible() const { return m_visible; }
    [[nodiscard]] bool isClosed() const { return m_closed; }
    [[nodiscard]] int level() const { return m_level; }
    [[nodiscard]] double alpha() const { return m_alpha; }

    [[nodiscard]] OverlaySurface& surface() { return *m_surface; }

private:
    std::unique_ptr<OverlaySurface> m_surface;
    std::uint32_t m_windowID = 0;
    int m_level = 0;
    double m_alpha = 1;
    bool m_visible = false;
    bool m_closed = false;
};

} // namespace hg

// A scripted screen list: screens given in window-server coordinates (top-left
// origin), turned into the bottom-left convention against the first screen's
// height.
//
//     FakeScreens screens;
//     screens.add(1, {0, 0, 1440, 900}, 2);                          // scale 2
//     screens.add(2, {1440, 0, 1920, 1080}, Rect{1440, 0, 1920, 1040});  // a panel along the bottom
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/windows/screens.h"

namespace hg::testing {

class FakeScreens final : public ScreenSource {
public:
    // A screen at `bounds` drawn at `scale` pixels per point; its visible area
    // is the whole screen. A screen without a number has no display bounds.
    void add(std::optional<std::uint32_t> number, Rect bounds, double scale = 1) { add(number, bounds, bounds, scale); }
    // The same with a visible area (`visible`, window-server coordinates) that
    // leaves out panels.
    void add(std::optional<std::uint32_t> number, Rect bounds, Rect visible, double scale = 1)
    {
        if (m_screens.empty())
            m_primaryHeight = bounds.height();
        Screen screen;
        screen.displayNumber = number;
        screen.frame = flipped(bounds);
        screen.visibleFrame = flipped(visible);
        screen.backingScaleFactor = scale;
        if (number) {
            screen.name = "DP-" + std::to_string(*number);
            m_bounds[*number] = bounds;
        }
        m_screens.push_back(screen);
    }
    void clear()
    {
        m_screens.clear();
        m_bounds.clear();
    }

    std::vector<Screen> screens() const override { return m_screens; }
    std::optional<Rect> displayBounds(std::uint32_t number) const override
    {
        const auto it = m_bounds.find(number);
        if (it == m_bounds.end())
            return std::nullopt;
        return it->second;
    }
    // For changes the two calls above cannot make (a scale, a name).
    std::vector<Screen>& mutableScreens() { return m_screens; }

private:
    Rect flipped(const Rect& r) const { return {r.minX(), m_primaryHeight - r.maxY(), r.width(), r.height()}; }

    std::vector<Screen> m_screens;
    std::map<std::uint32_t, Rect> m_bounds;
    double m_primaryHeight = 0;
};

} // namespace hg::testing

// A scripted screen list for the window-tracking tests: screens given in
// window-server coordinates, converted to the bottom-left convention against
// the first screen's height.
#pragma once

#include <map>

#include "engine/windows/screens.h"

namespace hg::testing {

class FakeScreens final : public ScreenSource {
public:
    // Adds a screen whose window-server bounds are `bounds`; `visible` (also in
    // window-server coordinates) defaults to the whole screen.
    void add(std::optional<std::uint32_t> number, Rect bounds, std::optional<Rect> visible = std::nullopt)
    {
        if (m_screens.empty())
            m_primaryHeight = bounds.height();
        const Rect v = visible.value_or(bounds);
        Screen screen;
        screen.displayNumber = number;
        screen.frame = flipped(bounds);
        screen.visibleFrame = flipped(v);
        m_screens.push_back(screen);
        if (number)
            m_bounds[*number] = bounds;
    }

    std::vector<Screen> screens() const override { return m_screens; }
    std::optional<Rect> displayBounds(std::uint32_t number) const override
    {
        auto it = m_bounds.find(number);
        if (it == m_bounds.end())
            return std::nullopt;
        return it->second;
    }

private:
    Rect flipped(const Rect& r) const { return {r.minX(), m_primaryHeight - r.maxY(), r.width(), r.height()}; }

    std::vector<Screen> m_screens;
    std::map<std::uint32_t, Rect> m_bounds;
    double m_primaryHeight = 0;
};

} // namespace hg::testing

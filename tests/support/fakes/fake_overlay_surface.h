// A recording overlay surface and its factory. Every call is logged as a short
// line naming the animation of the transaction it happened in, e.g.
// "mask[maskMove]", "picture[none,crossFade]", "alpha 100[direct]",
// "orderBelow 77", "level 15", "begin(none)", "commit". The record is shared
// with the test, so it stays readable after the overlay took the surface or
// closed it.
//
//     FakeSurfaceFactory surfaces;
//     BlurOverlay overlay(surfaces, screen, ...);
//     surfaces.made.back()->count("picture");         // with any animation
//     surfaces.latest(1)->last("orderBelow");         // "orderBelow 77"
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/overlay/overlay_surface.h"

namespace hg::testing {

inline const char* animationName(Animation a)
{
    switch (a) {
    case Animation::none: return "none";
    case Animation::maskMove: return "maskMove";
    case Animation::crossFade: return "crossFade";
    case Animation::fadeIn: return "fadeIn";
    }
    return "?";
}

// What one surface was told.
struct SurfaceRecord {
    std::uint32_t windowID = 0;
    Screen screen;
    OverlaySurfaceOptions options;
    std::vector<std::string> calls;
    std::vector<Animation> open;  // transactions now open, outermost first
    int transactions = 0;         // begun since the last reset
    std::optional<RgbaImage> picture;
    std::optional<Size> picturePixelSize;  // what the surface asks pictures to be made at
    Path mask;
    Color tint;
    double tintOpacity = 0;
    std::array<std::optional<EdgeStroke>, OverlaySurface::kEdgeCount> edges;
    double alpha = 1;
    int level = -1;
    bool closed = false;

    void reset()
    {
        calls.clear();
        transactions = 0;
    }
    // A call without the animation it happened in: "picture[none,none]" is "picture".
    [[nodiscard]] static std::string named(const std::string& call) { return call.substr(0, call.find('[')); }
    // Calls that are `call`, with or without their animation.
    [[nodiscard]] int count(const std::string& call) const
    {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c == call || named(c) == call; }));
    }
    [[nodiscard]] int countPrefix(const std::string& prefix) const
    {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }
    // The first and the last call starting with `prefix`, without its animation.
    [[nodiscard]] std::optional<std::string> first(const std::string& prefix) const
    {
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0)
                return named(c);
        return std::nullopt;
    }
    [[nodiscard]] std::optional<std::string> last(const std::string& prefix) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->rfind(prefix, 0) == 0)
                return named(*it);
        return std::nullopt;
    }
};

class FakeSurface final : public OverlaySurface {
public:
    explicit FakeSurface(std::shared_ptr<SurfaceRecord> record) : m_record(std::move(record)) {}

    std::uint32_t windowID() const override { return m_record->windowID; }
    void orderFront() override { log("orderFront"); }
    void orderBelow(std::uint32_t id) override { log("orderBelow " + std::to_string(id)); }
    void orderOut() override { log("orderOut"); }
    void close() override
    {
        m_record->closed = true;
        log("close");
    }
    void setLevel(int level) override
    {
        m_record->level = level;
        log("level " + std::to_string(level));
    }
    void setAlpha(double alpha) override
    {
        m_record->alpha = alpha;
        log("alpha " + std::to_string(static_cast<int>(alpha * 100)) + "[" + current() + "]");
    }
    void setPicture(std::optional<RgbaImage> picture, Animation transition) override
    {
        m_record->picture = std::move(picture);
        log(std::string(m_record->picture ? "picture[" : "noPicture[") + current() + "," + animationName(transition)
            + "]");
    }
    std::optional<Size> picturePixelSize() const override { return m_record->picturePixelSize; }
    void setMask(const Path& path, FillRule) override
    {
        m_record->mask = path;
        log(std::string("mask[") + current() + "]");
    }
    void setTint(Color color, double opacity) override
    {
        m_record->tint = color;
        m_record->tintOpacity = opacity;
        log(std::string("tint[") + current() + "]");
    }
    void attachTint() override { log("attachTint"); }
    void setEdge(int index, std::optional<EdgeStroke> stroke) override
    {
        m_record->edges.at(static_cast<std::size_t>(index)) = stroke;
        log((stroke ? "edge " : "noEdge ") + std::to_string(index) + "[" + current() + "]");
    }
    void setMaterial(Material material) override { log("material " + std::to_string(static_cast<int>(material))); }
    void beginTransaction(Animation animation) override
    {
        m_record->open.push_back(animation);
        ++m_record->transactions;
        log(std::string("begin(") + animationName(animation) + ")");
    }
    void commitTransaction() override
    {
        m_record->open.pop_back();
        log("commit");
    }

private:
    std::string current() const { return m_record->open.empty() ? "direct" : animationName(m_record->open.back()); }
    void log(std::string line) { m_record->calls.push_back(std::move(line)); }

    std::shared_ptr<SurfaceRecord> m_record;
};

// Surfaces numbered from 0x400001 in the order they are made.
class FakeSurfaceFactory final : public OverlaySurfaceFactory {
public:
    std::unique_ptr<OverlaySurface> makeSurface(const Screen& screen, const OverlaySurfaceOptions& options) override
    {
        auto record = std::make_shared<SurfaceRecord>();
        record->windowID = m_nextID++;
        record->screen = screen;
        record->options = options;
        made.push_back(record);
        return std::make_unique<FakeSurface>(record);
    }
    bool honoursStacking() const override { return honours; }
    bool isAnimating() const override { return animating; }

    // The record of the newest surface made for display `number`; null when none was.
    [[nodiscard]] std::shared_ptr<SurfaceRecord> latest(std::uint32_t number) const
    {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            if ((*it)->screen.displayNumber == number)
                return *it;
        return nullptr;
    }
    void forgetCalls()
    {
        for (auto& record : made)
            record->calls.clear();
    }

    std::vector<std::shared_ptr<SurfaceRecord>> made;  // in creation order
    bool honours = true;  // false: a window manager that draws overlays above every window
    bool animating = false;  // what `isAnimating` answers

private:
    std::uint32_t m_nextID = 0x400001;
};

} // namespace hg::testing

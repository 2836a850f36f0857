// A recording overlay surface: every call is logged as a short line naming the
// animation of the transaction it happened in, e.g. "mask[maskMove]",
// "picture[none,crossFade]", "begin(none)", "commit". The state is shared with
// the test so it stays readable after the overlay took the surface.
#pragma once

#include <array>
#include <memory>
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

struct FakeSurfaceState {
    std::vector<std::string> calls;
    std::vector<Animation> open;  // transactions now open, outermost first
    int transactions = 0;         // begun since the last reset
    OverlaySurfaceOptions options;
    Screen screen;
    std::optional<RgbaImage> picture;
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
    [[nodiscard]] int count(const std::string& call) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }
    [[nodiscard]] int countPrefix(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

class FakeSurface final : public OverlaySurface {
public:
    explicit FakeSurface(std::shared_ptr<FakeSurfaceState> state) : m_state(std::move(state)) {}

    std::uint32_t windowID() const override { return 0x400001; }
    void orderFront() override { log("orderFront"); }
    void orderBelow(std::uint32_t id) override { log("orderBelow " + std::to_string(id)); }
    void orderOut() override { log("orderOut"); }
    void close() override
    {
        m_state->closed = true;
        log("close");
    }
    void setLevel(int level) override
    {
        m_state->level = level;
        log("level " + std::to_string(level));
    }
    void setAlpha(double alpha) override
    {
        m_state->alpha = alpha;
        log("alpha " + std::to_string(static_cast<int>(alpha * 100)) + "[" + current() + "]");
    }
    void setPicture(std::optional<RgbaImage> picture, Animation transition) override
    {
        m_state->picture = std::move(picture);
        log(std::string(m_state->picture ? "picture[" : "noPicture[") + current() + "," + animationName(transition) + "]");
    }
    void setMask(const Path& path, FillRule) override
    {
        m_state->mask = path;
        log(std::string("mask[") + current() + "]");
    }
    void setTint(Color color, double opacity) override
    {
        m_state->tint = color;
        m_state->tintOpacity = opacity;
        log(std::string("tint[") + current() + "]");
    }
    void attachTint() override { log("attachTint"); }
    void setEdge(int index, std::optional<EdgeStroke> stroke) override
    {
        m_state->edges.at(static_cast<std::size_t>(index)) = stroke;
        log((stroke ? "edge " : "noEdge ") + std::to_string(index) + "[" + current() + "]");
    }
    void setMaterial(Material material) override { log("material " + std::to_string(static_cast<int>(material))); }
    void beginTransaction(Animation animation) override
    {
        m_state->open.push_back(animation);
        ++m_state->transactions;
        log(std::string("begin(") + animationName(animation) + ")");
    }
    void commitTransaction() override
    {
        m_state->open.pop_back();
        log("commit");
    }

private:
    std::string current() const { return m_state->open.empty() ? "direct" : animationName(m_state->open.back()); }
    void log(std::string line) { m_state->calls.push_back(std::move(line)); }

    std::shared_ptr<FakeSurfaceState> m_state;
};

class FakeSurfaceFactory final : public OverlaySurfaceFactory {
public:
    std::unique_ptr<OverlaySurface> makeSurface(const Screen& screen, const OverlaySurfaceOptions& options) override
    {
        state = std::make_shared<FakeSurfaceState>();
        state->screen = screen;
        state->options = options;
        return std::make_unique<FakeSurface>(state);
    }
    std::shared_ptr<FakeSurfaceState> state;
};

} // namespace hg::testing

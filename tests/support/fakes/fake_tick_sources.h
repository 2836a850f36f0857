// A tick source that ticks when the test says so, on the test's thread.
//
//     FakeTickSources sources;
//     DisplayLink link(60, handler, queue, queue, sources);
//     link.start();
//     sources.tick();           // one display refresh
//
// `failing` makes `start` return nullptr, as when no tick thread can start:
// the display link then paces itself with a main-queue timer. The callback of
// the last source stays callable after the source is gone, so a test can play
// a tick that raced with `stop`.
#pragma once

#include <functional>
#include <memory>

#include "engine/pacing/tick_source.h"

namespace hg::testing {

class FakeTickSources final : public TickSourceFactory {
public:
    std::unique_ptr<TickSource> start(std::function<void()> onTick) override
    {
        ++startCalls;
        if (failing)
            return nullptr;
        ++live;
        lastCallback = std::move(onTick);
        return std::make_unique<Source>(*this);
    }

    // One refresh of the running source; nothing when none runs.
    void tick()
    {
        if (live > 0)
            lastCallback();
    }
    // A refresh whose tick thread had not seen `stop` yet.
    void lateTick() { lastCallback(); }

    bool failing = false;
    int startCalls = 0;
    int live = 0;  // sources started and not yet destroyed
    std::function<void()> lastCallback = [] {};

private:
    struct Source final : TickSource {
        explicit Source(FakeTickSources& owner) : owner(owner) {}
        ~Source() override { --owner.live; }
        FakeTickSources& owner;
    };
};

} // namespace hg::testing

// The display's refresh as a port: a thread that is woken once per refresh.
//
// `DisplayLink` asks a `TickSourceFactory` for a source when it starts and
// destroys the source when it stops. The source calls `onTick` from its own
// thread at the display's rate (not the caller's: the caller filters ticks
// that come too soon). The Linux implementation is in platform/pacing/; tests
// use a fake that ticks when the test says so.
//
// Threads: `start` and the source's destructor run on the main thread;
// `onTick` runs on the source's thread and must touch nothing but what it
// owns, locks, and `MainQueue::post`.
#pragma once

#include <functional>
#include <memory>

namespace hg {

class TickSource {
public:
    // Stops the thread. When the destructor returns, `onTick` is not running
    // and is never called again; the callback is destroyed with the source.
    virtual ~TickSource() = default;
};

class TickSourceFactory {
public:
    virtual ~TickSourceFactory() = default;

    // Starts a thread that calls `onTick` about once per display refresh.
    // Returns nullptr when no such thread can be started; the caller then
    // paces itself with a timer on the main queue.
    [[nodiscard]] virtual std::unique_ptr<TickSource> start(std::function<void()> onTick) = 0;
};

} // namespace hg

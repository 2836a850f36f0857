// Work that must not block the main thread (a scan, a blur) goes to the pool.
// The pool gives no result back by itself: the work posts its result to the
// main queue, or is awaited through `onPool` (base/async.h).
#pragma once

#include <functional>

namespace hg {

class BackgroundPool {
public:
    virtual ~BackgroundPool() = default;
    // Runs `work` on some worker thread, soon. Thread-safe.
    virtual void run(std::function<void()> work) = 0;
};

} // namespace hg

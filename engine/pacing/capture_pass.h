// One run of the capture loop's work, as handed to the loop's client.
//
// The frame scheduler's capture loop gives each pass to its `onCapture` hook
// and waits until the pass has ended before it sleeps and starts the next one.
// A pass ends when `finish()` is called or when the last copy of the
// `CapturePass` is destroyed, whichever comes first, so a pass written as a
// coroutine that holds its `CapturePass` ends when the coroutine does, even
// when it is cancelled.
//
//     hooks.onCapture = [weak](CapturePass pass) {
//         if (auto* self = weak.get()) self->runCapturePass(std::move(pass));
//     };                                 // with the controller gone the pass ends here
//     ...
//     if (pass.isCancelled()) co_return; // the loop was stopped meanwhile
//
// `isCancelled` is read on the main thread; `finish` and the destructor may run
// on any thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace hg {

class CapturePass {
public:
    // For the scheduler: `cancelled` is set by the loop's owner (main thread);
    // `ended` is called once, from the thread that ends the pass.
    CapturePass(std::shared_ptr<const bool> cancelled, std::function<void()> ended)
        : m_cancelled(std::move(cancelled)), m_end(std::make_shared<End>(std::move(ended)))
    {
    }

    // True once the capture loop that started this pass has been stopped: the
    // pass should end without handing anything over. Main thread.
    [[nodiscard]] bool isCancelled() const { return *m_cancelled; }

    // Ends the pass; later calls (and copies' calls) do nothing.
    void finish() const { m_end->run(); }

private:
    struct End {
        explicit End(std::function<void()> ended) : ended(std::move(ended)) {}
        End(const End&) = delete;
        End& operator=(const End&) = delete;
        ~End() { run(); }
        void run()
        {
            if (!done.exchange(true))
                ended();
        }
        std::function<void()> ended;
        std::atomic<bool> done = false;
    };

    std::shared_ptr<const bool> m_cancelled;
    std::shared_ptr<End> m_end;
};

} // namespace hg

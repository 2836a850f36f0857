// Asynchronous tasks over the main queue, written as C++20 coroutines.
//
// A function returning `Async` runs on the main thread until its first
// `co_await`; every resumption after that is posted to the main queue, so the
// body always runs on the main thread, between other main-queue work.
//
//     Async captureLoop(WeakPtr<Scheduler> weak, MainQueue& queue) {
//         for (;;) {
//             co_await sleepFor(queue, 8ms);
//             auto* self = weak.get();
//             if (!self) co_return;                    // the owner is gone
//             Frame f = co_await onPool(pool, queue, [=] { return blur(image); });
//             ...
//         }
//     }
//     m_loop = captureLoop(m_weak.get(), queue);
//     m_loop.cancel();                                   // stops at the suspension
//
// Cancellation is checked at every suspension: a cancelled task never runs
// another line of its body; it is destroyed where it waits (its locals are
// destroyed normally, on the main thread), and a pending timer is cancelled.
// Work already handed to the pool finishes, but its result is dropped.
// Destroying an `Async` does not cancel the task: owners that must stop their
// task hold the handle and call `cancel()` (main thread only).
//
// Two rules of C++ coroutines apply here with force:
// - A coroutine lambda takes what it needs as parameters, never as captures:
//   the closure dies at the first suspension, and its captures with it.
// - Name a lambda before awaiting it (`auto work = [...]{...}; co_await
//   onPool(pool, queue, std::move(work));`): g++ 12 destroys the captures of a
//   lambda written inside a co_await expression too early.
#pragma once

#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "base/background_pool.h"
#include "base/main_queue.h"

namespace hg {

namespace detail {

struct AsyncState {
    bool cancelled = false;
    bool finished = false;
    std::coroutine_handle<> suspended;    // set while waiting at one of our awaiters
    std::uint64_t suspension = 0;         // tells a stale wake-up from the current one
    std::function<void()> cancelPending;  // cancels what the current wait is waiting for
};

} // namespace detail

class Async {
public:
    struct promise_type {
        std::shared_ptr<detail::AsyncState> state = std::make_shared<detail::AsyncState>();

        Async get_return_object() { return Async(state); }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
        ~promise_type()
        {
            state->finished = true;
            state->suspended = {};
            state->cancelPending = nullptr;
        }
    };

    Async() = default;

    // Stops the task at its current or next suspension. Main thread only.
    void cancel()
    {
        if (!m_state || m_state->finished)
            return;
        m_state->cancelled = true;
        if (!m_state->suspended)
            return;  // running right now: it stops at its next suspension
        auto handle = std::exchange(m_state->suspended, {});
        if (auto cancelPending = std::exchange(m_state->cancelPending, nullptr))
            cancelPending();
        handle.destroy();
    }
    [[nodiscard]] bool isFinished() const { return !m_state || m_state->finished; }
    [[nodiscard]] bool isCancelled() const { return m_state && m_state->cancelled; }

private:
    explicit Async(std::shared_ptr<detail::AsyncState> state) : m_state(std::move(state)) {}
    std::shared_ptr<detail::AsyncState> m_state;
};

namespace detail {

using AsyncHandle = std::coroutine_handle<Async::promise_type>;

// Marks the coroutine as waiting and returns the token its wake-up must carry.
// Returns nullopt (after destroying the coroutine) when it was cancelled already.
inline std::optional<std::uint64_t> beginWait(AsyncHandle h)
{
    auto& state = *h.promise().state;
    if (state.cancelled) {
        h.destroy();
        return std::nullopt;
    }
    state.suspended = h;
    return ++state.suspension;
}

// Resumes the coroutine unless it was cancelled, finished or woken already.
inline void wake(const std::shared_ptr<AsyncState>& state, std::uint64_t suspension)
{
    if (!state->suspended || state->suspension != suspension)
        return;
    auto handle = std::exchange(state->suspended, {});
    state->cancelPending = nullptr;
    if (state->cancelled) {
        handle.destroy();
        return;
    }
    handle.resume();
}

} // namespace detail

// co_await sleepFor(queue, 250ms): resumes after the delay.
struct SleepAwaiter {
    MainQueue& queue;
    Nanoseconds delay;

    bool await_ready() const noexcept { return false; }
    void await_suspend(detail::AsyncHandle h)
    {
        auto token = detail::beginWait(h);
        if (!token)
            return;
        auto state = h.promise().state;
        TaskHandle timer = queue.postDelayed(delay, [state, token = *token] { detail::wake(state, token); });
        state->cancelPending = [timer]() mutable { timer.cancel(); };
    }
    void await_resume() const noexcept {}
};

[[nodiscard]] inline SleepAwaiter sleepFor(MainQueue& queue, Nanoseconds delay)
{
    return {queue, delay};
}

// co_await onPool(pool, queue, work): runs `work` on the pool and resumes on the
// main queue with its result.
template <typename Work>
struct PoolAwaiter {
    using Result = std::invoke_result_t<Work&>;
    using Slot = std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>>;

    BackgroundPool& pool;
    MainQueue& queue;
    Work work;
    std::shared_ptr<Slot> slot = std::make_shared<Slot>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(detail::AsyncHandle h)
    {
        auto token = detail::beginWait(h);
        if (!token)
            return;
        auto state = h.promise().state;
        pool.run([work = std::move(work), slot = slot, &queue = queue, state, token = *token]() mutable {
            if constexpr (std::is_void_v<Result>) {
                work();
                *slot = true;
            } else {
                slot->emplace(work());
            }
            queue.post([state = std::move(state), token] { detail::wake(state, token); });
        });
    }
    Result await_resume()
    {
        if constexpr (!std::is_void_v<Result>)
            return std::move(**slot);
    }
};

template <typename Work>
[[nodiscard]] PoolAwaiter<Work> onPool(BackgroundPool& pool, MainQueue& queue, Work work)
{
    return {pool, queue, std::move(work)};
}

// co_await onCompletion<T>(queue, [](std::function<void(T)> done) { api(done); }):
// adapts a callback API. `done` may be called from any thread; only its first
// call counts.
template <typename T>
struct CompletionAwaiter {
    MainQueue& queue;
    std::function<void(std::function<void(T)>)> start;
    std::shared_ptr<std::optional<T>> slot = std::make_shared<std::optional<T>>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(detail::AsyncHandle h)
    {
        auto token = detail::beginWait(h);
        if (!token)
            return;
        auto state = h.promise().state;
        auto called = std::make_shared<std::atomic<bool>>(false);
        start([slot = slot, &queue = queue, state, token = *token, called](T value) {
            if (called->exchange(true))
                return;
            *slot = std::move(value);
            queue.post([state, token] { detail::wake(state, token); });
        });
    }
    T await_resume() { return std::move(**slot); }
};

template <typename T>
[[nodiscard]] CompletionAwaiter<T> onCompletion(MainQueue& queue,
                                               std::function<void(std::function<void(T)>)> start)
{
    return {queue, std::move(start)};
}

} // namespace hg

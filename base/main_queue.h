// The main queue: the one thread where the program's state lives.
//
// Work posted here runs on the main thread, in order of due time; tasks due at
// the same time run in the order they were posted. `post` may be called from any
// thread (a display-link thread or a pool worker hands its result back this
// way); everything else runs on the main thread.
//
//     TaskHandle retry = queue.postDelayed(250ms, [weak] { ... });
//     retry.cancel();                       // the task will not run
//
// A handle does not cancel its task when it is destroyed; hold a
// `ScopedTaskHandle` for that.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace hg {

using Nanoseconds = std::chrono::nanoseconds;
using Task = std::function<void()>;

// Cancels one posted task (or every future run of a repeating one).
class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<std::atomic<bool>> cancelled)
        : m_cancelled(std::move(cancelled)) {}

    // After this returns on the main thread the task does not run (again).
    void cancel()
    {
        if (m_cancelled)
            m_cancelled->store(true);
    }
    [[nodiscard]] bool isCancelled() const { return !m_cancelled || m_cancelled->load(); }
    [[nodiscard]] bool isValid() const { return m_cancelled != nullptr; }

    // For queue implementations: a fresh, live flag.
    static std::shared_ptr<std::atomic<bool>> makeFlag()
    {
        return std::make_shared<std::atomic<bool>>(false);
    }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

// Cancels its task when destroyed or reassigned.
class ScopedTaskHandle {
public:
    ScopedTaskHandle() = default;
    ScopedTaskHandle(TaskHandle handle) : m_handle(std::move(handle)) {} // NOLINT: implicit by design
    ScopedTaskHandle(ScopedTaskHandle&&) = default;
    ScopedTaskHandle& operator=(ScopedTaskHandle&& other) noexcept
    {
        if (this != &other) {
            m_handle.cancel();
            m_handle = std::move(other.m_handle);
            other.m_handle = {};
        }
        return *this;
    }
    ScopedTaskHandle(const ScopedTaskHandle&) = delete;
    ScopedTaskHandle& operator=(const ScopedTaskHandle&) = delete;
    ~ScopedTaskHandle() { m_handle.cancel(); }

    void cancel() { m_handle.cancel(); }
    [[nodiscard]] bool isActive() const { return !m_handle.isCancelled(); }

private:
    TaskHandle m_handle;
};

class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs `task` on the main thread as soon as possible. Thread-safe.
    virtual void post(Task task) = 0;
    // Runs `task` once, `delay` from now (a negative delay counts as zero).
    virtual TaskHandle postDelayed(Nanoseconds delay, Task task) = 0;
    // Runs `task` every `interval` (first run one interval from now) until the
    // handle is cancelled. A run that comes late does not cause a burst of
    // catch-up runs. The interval is at least 1 ms.
    virtual TaskHandle repeating(Nanoseconds interval, Task task) = 0;
};

} // namespace hg

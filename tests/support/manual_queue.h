// A main queue and clock whose time moves only when the test says so.
//
//     ManualQueue queue;                 // queue and clock advance together
//     queue.postDelayed(300ms, task);
//     queue.fastForwardBy(299ms);        // task has not run
//     queue.fastForwardBy(1ms);          // now it has
//
// Tasks run on the thread that calls `runUntilIdle`/`fastForwardBy`, in order of
// due time, equal due times in posting order; while a task runs, the clock reads
// its due time. `post` is thread-safe, so a real thread may hand work back.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "base/background_pool.h"
#include "base/clock.h"
#include "base/main_queue.h"

namespace hg::testing {

class ManualQueue final : public MainQueue, public Clock {
public:
    // Uptime starts at one second (so that 0 never looks like a real time), the
    // reference-date clock at `referenceSeconds`.
    explicit ManualQueue(double referenceSeconds = 800'000'000.0);

    void post(Task task) override;
    TaskHandle postDelayed(Nanoseconds delay, Task task) override;
    TaskHandle repeating(Nanoseconds interval, Task task) override;

    std::uint64_t uptimeNanos() const override;
    double secondsSinceReferenceDate() const override;

    // Runs every task due now, including those they post for now.
    void runUntilIdle();
    // Moves the clock forward, running each task at its due time.
    void fastForwardBy(Nanoseconds delta);
    // The delay until the next task that is not cancelled, if any.
    [[nodiscard]] std::optional<Nanoseconds> nextPendingDelay() const;
    // Tasks waiting (cancelled ones not counted).
    [[nodiscard]] std::size_t pendingTaskCount() const;

private:
    struct Entry {
        Task task;
        std::shared_ptr<std::atomic<bool>> cancelled;
        Nanoseconds interval{0};  // zero for a one-shot task
    };
    using Key = std::pair<std::uint64_t, std::uint64_t>;  // due time, sequence

    TaskHandle enqueue(std::uint64_t due, Task task, Nanoseconds interval);
    // Runs the first task due at or before `limit`; false when there is none.
    bool runNextDueBy(std::uint64_t limit);

    mutable std::mutex m_mutex;
    std::multimap<Key, Entry> m_tasks;
    std::uint64_t m_now = 1'000'000'000;
    std::uint64_t m_sequence = 0;
    double m_referenceAtStart;
};

// A background pool that runs nothing until the test says so, on the test's thread.
class ManualPool final : public BackgroundPool {
public:
    void run(std::function<void()> work) override;
    // Runs the waiting work (and work that it hands to the pool); returns how many ran.
    std::size_t runAll();
    [[nodiscard]] std::size_t pendingCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::function<void()>> m_work;
};

} // namespace hg::testing

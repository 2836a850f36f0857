#include "support/manual_queue.h"

#include <algorithm>
#include <vector>

namespace hg::testing {

ManualQueue::ManualQueue(double referenceSeconds) : m_referenceAtStart(referenceSeconds) {}

void ManualQueue::post(Task task)
{
    std::lock_guard lock(m_mutex);
    enqueue(m_now, std::move(task), Nanoseconds{0});
}

TaskHandle ManualQueue::postDelayed(Nanoseconds delay, Task task)
{
    std::lock_guard lock(m_mutex);
    const auto d = static_cast<std::uint64_t>(std::max<std::int64_t>(0, delay.count()));
    return enqueue(m_now + d, std::move(task), Nanoseconds{0});
}

TaskHandle ManualQueue::repeating(Nanoseconds interval, Task task)
{
    std::lock_guard lock(m_mutex);
    const Nanoseconds step = std::max<Nanoseconds>(interval, std::chrono::milliseconds(1));
    return enqueue(m_now + static_cast<std::uint64_t>(step.count()), std::move(task), step);
}

TaskHandle ManualQueue::enqueue(std::uint64_t due, Task task, Nanoseconds interval)
{
    auto flag = TaskHandle::makeFlag();
    m_tasks.emplace(Key{due, ++m_sequence}, Entry{std::move(task), flag, interval});
    return TaskHandle(flag);
}

std::uint64_t ManualQueue::uptimeNanos() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

double ManualQueue::secondsSinceReferenceDate() const
{
    std::lock_guard lock(m_mutex);
    return m_referenceAtStart + static_cast<double>(m_now - 1'000'000'000) / 1e9;
}

bool ManualQueue::runNextDueBy(std::uint64_t limit)
{
    Entry entry;
    // Cancelled tasks are destroyed after the lock is released: what they
    // capture may post to this queue as it goes.
    std::vector<Task> dropped;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_tasks.begin();
        while (it != m_tasks.end() && it->second.cancelled->load()) {
            dropped.push_back(std::move(it->second.task));
            it = m_tasks.erase(it);
        }
        if (it == m_tasks.end() || it->first.first > limit)
            return false;
        m_now = std::max(m_now, it->first.first);
        entry = std::move(it->second);
        m_tasks.erase(it);
        if (entry.interval.count() > 0) {
            // Re-arm before running, so the task may cancel its own handle.
            m_tasks.emplace(Key{m_now + static_cast<std::uint64_t>(entry.interval.count()), ++m_sequence},
                            Entry{entry.task, entry.cancelled, entry.interval});
        }
    }
    entry.task();
    return true;
}

void ManualQueue::runUntilIdle()
{
    while (runNextDueBy(uptimeNanos())) {
    }
}

void ManualQueue::fastForwardBy(Nanoseconds delta)
{
    const std::uint64_t target = uptimeNanos() + static_cast<std::uint64_t>(std::max<std::int64_t>(0, delta.count()));
    while (runNextDueBy(target)) {
    }
    std::lock_guard lock(m_mutex);
    m_now = target;
}

std::optional<Nanoseconds> ManualQueue::nextPendingDelay() const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [key, entry] : m_tasks)
        if (!entry.cancelled->load())
            return Nanoseconds(static_cast<std::int64_t>(key.first - std::min(key.first, m_now)));
    return std::nullopt;
}

std::size_t ManualQueue::pendingTaskCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_tasks.begin(), m_tasks.end(),
                                                   [](const auto& kv) { return !kv.second.cancelled->load(); }));
}

void ManualPool::run(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_work.push_back(std::move(work));
}

std::size_t ManualPool::runAll()
{
    std::size_t count = 0;
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(m_mutex);
            batch.swap(m_work);
        }
        if (batch.empty())
            return count;
        for (auto& work : batch)
            work();
        count += batch.size();
    }
}

std::size_t ManualPool::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_work.size();
}

} // namespace hg::testing

// A RowSplitter over a few persistent threads, for the benchmarks and the
// command-line blur (the program itself blurs each display on its own pool
// task and splits nothing). The calling thread works as worker 0.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/capture/gaussian_blur.h"

namespace hg::bench {

class ThreadSplitter final : public RowSplitter {
public:
    explicit ThreadSplitter(int threads) : m_count(threads < 1 ? 1 : threads)
    {
        for (int i = 1; i < m_count; ++i)
            m_threads.emplace_back([this, i] { loop(i); });
    }
    ~ThreadSplitter() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            ++m_generation;
        }
        m_wake.notify_all();
        for (auto& t : m_threads)
            t.join();
    }

    int workerCount() const override { return m_count; }

    void run(int count, const std::function<void(int, int, int)>& body) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_body = &body;
            m_rows = count;
            m_pending = m_count - 1;
            ++m_generation;
        }
        m_wake.notify_all();
        runShare(0);
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending == 0; });
    }

private:
    void runShare(int worker)
    {
        const int begin = static_cast<int>(static_cast<long long>(m_rows) * worker / m_count);
        const int end = static_cast<int>(static_cast<long long>(m_rows) * (worker + 1) / m_count);
        if (begin < end)
            (*m_body)(begin, end, worker);
    }
    void loop(int worker)
    {
        unsigned long long seen = 0;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_generation != seen; });
                seen = m_generation;
                if (m_stop)
                    return;
            }
            runShare(worker);
            std::lock_guard lock(m_mutex);
            if (--m_pending == 0)
                m_done.notify_one();
        }
    }

    int m_count;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int, int, int)>* m_body = nullptr;
    int m_rows = 0;
    int m_pending = 0;
    unsigned long long m_generation = 0;
    bool m_stop = false;
};

} // namespace hg::bench

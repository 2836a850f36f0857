// The runtime ports over Qt: the main queue on the Qt event loop, the system
// clocks, and the background pool on QThreadPool.
//
// Created once by the application, after QCoreApplication, on the main thread.
// `QtMainQueue::post` may be called from any thread.
#pragma once

#include <QObject>
#include <QThreadPool>

#include "base/background_pool.h"
#include "base/clock.h"
#include "base/main_queue.h"

namespace hg {

class QtBackgroundPool;

class QtMainQueue final : public QObject, public MainQueue {
    Q_OBJECT
public:
    // Lives on the thread that creates it: the main thread.
    explicit QtMainQueue(QObject* parent = nullptr);

    void post(Task task) override;
    TaskHandle postDelayed(Nanoseconds delay, Task task) override;
    TaskHandle repeating(Nanoseconds interval, Task task) override;

    // At quit, once the event loop has ended: lets the pool's work finish and
    // runs the tasks it and earlier work posted, a few rounds, so that a task
    // waiting for that work ends (and frees what it holds) instead of being
    // dropped with the queue. Delayed tasks are not run.
    void finishPosted(QtBackgroundPool& pool, int rounds = 8);
};

class SystemClock final : public Clock {
public:
    std::uint64_t uptimeNanos() const override;
    double secondsSinceReferenceDate() const override;
};

class QtBackgroundPool final : public BackgroundPool {
public:
    // At least two workers, so one long job never starves the others.
    QtBackgroundPool();
    ~QtBackgroundPool() override;
    void run(std::function<void()> work) override;
    // Waits for running work; called before the objects it uses go away.
    void waitForDone();

private:
    QThreadPool m_pool;
};

} // namespace hg

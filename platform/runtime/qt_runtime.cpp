#include "platform/runtime/qt_runtime.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>

namespace hg {
namespace {

int toTimerMillis(Nanoseconds delay)
{
    // QTimer counts whole milliseconds; round up so a task never runs early.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Nanoseconds{0}));
    return static_cast<int>(std::min<std::int64_t>(ms.count(), std::numeric_limits<int>::max()));
}

} // namespace

QtMainQueue::QtMainQueue(QObject* parent) : QObject(parent) {}

void QtMainQueue::finishPosted(QtBackgroundPool& pool, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        pool.waitForDone();
        QCoreApplication::sendPostedEvents(this);
    }
}

void QtMainQueue::post(Task task)
{
    QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

TaskHandle QtMainQueue::postDelayed(Nanoseconds delay, Task task)
{
    auto flag = TaskHandle::makeFlag();
    auto run = [flag, task = std::move(task)] {
        if (!flag->load())
            task();
    };
    if (delay <= Nanoseconds{0})
        QMetaObject::invokeMethod(this, std::move(run), Qt::QueuedConnection);
    else
        QTimer::singleShot(toTimerMillis(delay), Qt::PreciseTimer, this, std::move(run));
    return TaskHandle(flag);
}

TaskHandle QtMainQueue::repeating(Nanoseconds interval, Task task)
{
    auto flag = TaskHandle::makeFlag();
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(std::max(1, toTimerMillis(interval)));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, flag, task = std::move(task)] {
        if (flag->load()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        task();
    });
    timer->start();
    return TaskHandle(flag);
}

std::uint64_t SystemClock::uptimeNanos() const
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

double SystemClock::secondsSinceReferenceDate() const
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) - kReferenceDateUnixSeconds + static_cast<double>(ts.tv_nsec) / 1e9;
}

QtBackgroundPool::QtBackgroundPool()
{
    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

QtBackgroundPool::~QtBackgroundPool()
{
    m_pool.waitForDone();
}

void QtBackgroundPool::run(std::function<void()> work)
{
    m_pool.start(std::move(work));
}

void QtBackgroundPool::waitForDone()
{
    m_pool.waitForDone();
}

} // namespace hg

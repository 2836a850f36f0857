// One offscreen QApplication per test process, and a way to spin its event
// loop until something happened.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

namespace hg::testing {

inline void ensureQtApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "hushglass_platform_system_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// Real time is unavoidable when a real socket answers; the deadline only
// keeps a broken test from hanging.
template <typename Done>
bool spinUntil(Done done, int deadlineMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < deadlineMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace hg::testing

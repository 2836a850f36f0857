// Opening the settings window: the time from `show()` to the end of the
// window's first paint, the first time in the process and on every later
// opening (median of 30), and the resident memory with the window open and
// after it closed. Runs on the platform Qt picks (set QT_QPA_PLATFORM, or a
// DISPLAY for xcb), with the privacy controller over fakes.
//
// Run: ninja -C build bench_settings_window && build/bench/settings_window/bench_settings_window
#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/controller_fixture.h"
#include "platform/settings_window/qt_settings_window.h"
#include "settings_window/test_i18n.h"

namespace {

using namespace hg;

long residentKilobytes()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct AcceptingLoginItem final : LoginItemPort {
    bool apply(bool) override { return true; }
};

// Notes when each widget paint starts; the last one of the first batch ends
// the window's first paint (widgets paint front to back in one pass).
struct PaintWatch : QObject {
    QElapsedTimer* timer;
    double* elapsedMs;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<QWidget*>(watched))
            *elapsedMs = timer->nsecsElapsed() / 1e6;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::ControllerFixture fixture;
    testing::TestI18n t;
    InMemoryDefaults prefsDefaults;
    AcceptingLoginItem loginItem;
    SettingsPreferences preferences(prefsDefaults, loginItem);
    QtSettingsWindowHost host(SettingsWindowDeps{*fixture.controller, preferences, t.i18n, fixture.notifications},
                              MainMenuActions{});
    QtActivationPolicy policy;
    SettingsWindowController controller(host, policy, fixture.queue, fixture.notifications, t.i18n, preferences);

    const long before = residentKilobytes();
    std::vector<double> again;
    double first = -1;
    long open = 0;
    for (int i = 0; i < 31; ++i) {
        QElapsedTimer timer;
        double elapsed = -1;
        PaintWatch watch;
        watch.timer = &timer;
        watch.elapsedMs = &elapsed;
        app.installEventFilter(&watch);
        timer.start();
        controller.show(kSettingsTabs[i % kSettingsTabs.size()]);
        while (elapsed < 0 && timer.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        // The rest of the same paint pass.
        QApplication::processEvents();
        app.removeEventFilter(&watch);
        (i == 0 ? first : again.emplace_back()) = elapsed;
        open = std::max(open, residentKilobytes());
        host.topLevel()->close();
        for (int k = 0; k < 5; ++k)
            QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    malloc_trim(0);
    const long after = residentKilobytes();
    std::sort(again.begin(), again.end());
    std::printf("settings window, platform %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("  first opening: %.1f ms to first paint\n", first);
    std::printf("  later openings: median %.1f ms, max %.1f ms (%zu)\n", again[again.size() / 2], again.back(),
                again.size());
    std::printf("  resident memory: %.1f MB before, %.1f MB open (peak), %.1f MB after closing\n", before / 1024.0,
                open / 1024.0, after / 1024.0);
    return 0;
}

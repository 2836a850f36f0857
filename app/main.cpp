// Hushglass: keeps the window you work in sharp and covers the rest of every
// screen with a live blur. It runs as an agent in an X11 session: no window of
// its own at start and nothing in the taskbar.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"

namespace {

xcb_screen_t* defaultScreen(xcb_connection_t* connection)
{
    // Qt opened the display named by DISPLAY; its screen number follows the dot.
    int number = 0;
    const char* display = std::getenv("DISPLAY");
    if (const char* dot = display ? std::strrchr(display, '.') : nullptr)
        number = std::atoi(dot + 1);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < number && it.rem > 1; ++i)
        xcb_screen_next(&it);
    return it.data;
}

} // namespace

int main(int argc, char* argv[])
{
    hg::surviveBrokenPipes();
    if (const std::optional<int> status = hg::runCommandLine(argc, argv))
        return *status;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "Hushglass: no X11 display (DISPLAY is not set). Hushglass runs in an X11 desktop "
                             "session; ./scripts/run starts a virtual one when there is no display.\n");
        return 1;
    }
    bool waitForPrevious = false;
    for (int i = 1; i < argc; ++i)
        waitForPrevious = waitForPrevious || std::strcmp(argv[i], hg::kWaitForPreviousOption) == 0;
    if (hg::claimSingleInstance(display, waitForPrevious ? hg::kWaitForPreviousLimit : std::chrono::milliseconds{0})
        == hg::InstanceClaim::taken) {
        std::fprintf(stderr, "Hushglass: already running on display %s; this copy exits.\n", display);
        return 0;
    }
    // Hushglass works through X11 facilities; under Wayland it runs through XWayland only.
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName("hushglass");
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationVersion(HUSHGLASS_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);
    hg::quitOnTerminationSignals();

    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        std::fprintf(stderr, "Hushglass: could not reach the X server of display %s.\n", display);
        return 1;
    }
    hg::reportLostDisplay(connection, display);
    hg::AppDelegate delegate(connection, defaultScreen(connection));
    QMetaObject::invokeMethod(&app, [&delegate] { delegate.applicationDidFinishLaunching(); }, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&delegate] { delegate.applicationWillTerminate(); });
    return QApplication::exec();
}

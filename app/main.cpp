// Hushglass: keeps the window you work in sharp and covers the rest of every
// screen with a live blur. It runs as an agent in an X11 session: no window of
// its own at start and nothing in the taskbar.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_delegate.h"
#include "app/quit_signals.h"

namespace {

bool hasX11Display()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!hasX11Display()) {
        std::fprintf(stderr, "Hushglass: no X11 display (DISPLAY is not set). Hushglass runs in an X11 desktop "
                             "session; ./scripts/run starts a virtual one when there is no display.\n");
        return 1;
    }
    // Hushglass works through X11 facilities; under Wayland it runs through XWayland only.
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName("hushglass");
    QApplication::setApplicationDisplayName("Hushglass");
    QApplication::setApplicationVersion(HUSHGLASS_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);
    hg::quitOnTerminationSignals();

    hg::AppDelegate delegate;
    QMetaObject::invokeMethod(&app, [&delegate] { delegate.applicationDidFinishLaunching(); }, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&delegate] { delegate.applicationWillTerminate(); });
    return QApplication::exec();
}

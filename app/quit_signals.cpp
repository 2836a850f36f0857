#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "base/log.h"

namespace hg {
namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

void onBrokenPipe(int) {}

xcb_connection_t* g_connection = nullptr;
std::string* g_display = nullptr;

void sayIfTheDisplayWentAway()
{
    if (g_connection && xcb_connection_has_error(g_connection))
        logLine("Hushglass: lost the connection to the X server of display " + *g_display + "; quitting");
}

} // namespace

void surviveBrokenPipes()
{
    struct sigaction action {};
    action.sa_handler = onBrokenPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &action, nullptr);
}

void quitOnTerminationSignals()
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM})
        ::sigaction(sig, &action, nullptr);
}

} // namespace hg

namespace hg {

void reportLostDisplay(xcb_connection_t* connection, const char* display)
{
    // Kept for the exit handler, which runs after main's objects are gone.
    g_display = new std::string(display);
    g_connection = connection;
    // The log's own state is made now, so that it outlives the handler.
    setLogSink(setLogSink({}));
    std::atexit(sayIfTheDisplayWentAway);
    // The connection is closed with the application: from then on it must
    // not be asked.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { g_connection = nullptr; });
}

} // namespace hg

#include "app/command_line.h"

#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QVariant>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/dbus/dbus_control.h"

namespace hg {
namespace {

constexpr char kUsage[] =
    "Usage: hushglass [OPTION]\n"
    "Keeps the window you work in sharp and blurs the rest of every screen.\n"
    "Without an option, starts Hushglass (one copy per display).\n"
    "\n"
    "Control a running Hushglass:\n"
    "  --toggle             switch the blur on or off\n"
    "  --enable             switch the blur on\n"
    "  --disable            switch the blur off\n"
    "  --settings           open the settings window\n"
    "  --check-for-updates  look for a new version\n"
    "  --status             print \"on\" or \"off\" and the blur radius\n"
    "\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n";

// How long a running copy may take to answer; it answers at once unless hung.
constexpr int kCallTimeoutMs = 5000;

int notRunning()
{
    std::fprintf(stderr, "hushglass: Hushglass is not running in this session.\n");
    return 1;
}

int control(std::string_view option)
{
    int argc = 1;
    char name[] = "hushglass";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kDBusService).value())
        return notRunning();
    QDBusInterface hushglass(kDBusService, kDBusPath, kDBusInterface, bus);
    hushglass.setTimeout(kCallTimeoutMs);

    if (option == "--status") {
        QDBusInterface properties(kDBusService, kDBusPath, QStringLiteral("org.freedesktop.DBus.Properties"), bus);
        properties.setTimeout(kCallTimeoutMs);
        const QDBusReply<QVariantMap> all = properties.call(QStringLiteral("GetAll"), QString(kDBusInterface));
        if (!all.isValid())
            return notRunning();
        std::printf("%s, blur radius %g pt\n", all.value().value("Enabled").toBool() ? "on" : "off",
                    all.value().value("BlurRadius").toDouble());
        return 0;
    }
    const char* method = option == "--toggle"    ? "Toggle"
                         : option == "--enable"  ? "Enable"
                         : option == "--disable" ? "Disable"
                         : option == "--settings" ? "OpenSettings"
                                                  : "CheckForUpdates";
    const QDBusMessage reply = hushglass.call(QString::fromLatin1(method));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"))
            return notRunning();
        std::fprintf(stderr, "hushglass: the running Hushglass did not answer: %s\n",
                     reply.errorMessage().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace

std::optional<int> runCommandLine(int argc, char* argv[])
{
    if (argc < 2 || std::strncmp(argv[1], "--", 2) != 0)
        return std::nullopt;
    const std::string_view option = argv[1];
    if (argc > 2) {
        std::fprintf(stderr, "hushglass: give one option at a time. Try 'hushglass --help'.\n");
        return 2;
    }
    if (option == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (option == "--version") {
        std::printf("hushglass %s\n", HUSHGLASS_VERSION);
        return 0;
    }
    if (option == kWaitForPreviousOption)
        return std::nullopt;  // a relaunched copy: it starts, once the previous one has gone
    for (const char* known : {"--toggle", "--enable", "--disable", "--settings", "--check-for-updates", "--status"})
        if (option == known)
            return control(option);
    std::fprintf(stderr, "hushglass: unknown option '%s'. Try 'hushglass --help'.\n", argv[1]);
    return 2;
}

} // namespace hg

#include "platform/system/xdg_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace hg {
namespace {

constexpr auto kEntryName = "hushglass.desktop";

// True when the [Desktop Entry] group says Hidden=true.
bool isHidden(QFile& file)
{
    QTextStream in(&file);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && line.left(equals).trimmed() == QLatin1String("Hidden"))
            return line.mid(equals + 1).trimmed() == QLatin1String("true");
    }
    return false;
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executable, QString configHome)
    : m_executable(std::move(executable)), m_configHome(std::move(configHome))
{
}

QString XdgAutostartLoginItem::runningExecutable()
{
    return QCoreApplication::applicationFilePath();
}

QString XdgAutostartLoginItem::standardConfigHome()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString XdgAutostartLoginItem::execValue(const QString& program)
{
    // Quoting rules of the desktop entry format: an argument with reserved
    // characters goes in double quotes, where ", `, $ and \ take a backslash;
    // then the string value escapes each backslash once more, and % is doubled.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString argument;
    for (QChar c : program) {
        if (needsQuotes && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            argument += u'\\';
        argument += c;
    }
    if (needsQuotes)
        argument = u'"' + argument + u'"';
    argument.replace(u'\\', QStringLiteral("\\\\"));
    argument.replace(u'%', QStringLiteral("%%"));
    return argument;
}

QString XdgAutostartLoginItem::entryPath() const
{
    return m_configHome + QStringLiteral("/autostart/") + QLatin1String(kEntryName);
}

bool XdgAutostartLoginItem::runsFromInstalledLocation() const
{
    const QFileInfo program(m_executable);
    const QDir bin = program.absoluteDir();
    if (!program.isAbsolute() || bin.dirName() != QLatin1String("bin"))
        return false;
    return QFileInfo::exists(QDir::cleanPath(bin.absolutePath() + QStringLiteral("/../share/applications/") +
                                             QLatin1String(kEntryName)));
}

LoginItemService::Status XdgAutostartLoginItem::status() const
{
    QFile file(entryPath());
    if (!file.exists())
        return Status::notRegistered;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return Status::enabled;  // present but unreadable: the desktop may still start it
    return isHidden(file) ? Status::notRegistered : Status::enabled;
}

std::optional<std::string> XdgAutostartLoginItem::registerItem()
{
    const QString folder = QFileInfo(entryPath()).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the folder %1").arg(folder).toStdString();
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return QStringLiteral("%1: %2").arg(entryPath(), file.errorString()).toStdString();
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Hush Glass\n"
           "Name[zh_CN]=Hushglass\n"
           "Comment=Keeps the focus window sharp and blurs the rest\n"
           "Comment[zh_CN]=让焦点窗口清晰，让其余世界隐去。\n"
        << "Exec=" << execValue(m_executable) << "\n"
        << "Icon=hushglass\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    if (!file.commit())
        return QStringLiteral("%1: %2").arg(entryPath(), file.errorString()).toStdString();
    return std::nullopt;
}

std::optional<std::string> XdgAutostartLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return QStringLiteral("%1: %2").arg(entryPath(), file.errorString()).toStdString();
}

} // namespace hg

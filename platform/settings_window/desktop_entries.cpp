#include "platform/settings_window/desktop_entries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTextStream>
#include <map>

namespace hg {
namespace {

// Every desktop file by lower-cased id (file name without ".desktop"); the
// first data directory wins, as the XDG lookup order says.
const std::map<std::string, QString>& entryFiles()
{
    static const std::map<std::string, QString> files = [] {
        std::map<std::string, QString> out;
        for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
            for (const QFileInfo& file : QDir(dir).entryInfoList({QStringLiteral("*.desktop")}, QDir::Files))
                out.emplace(file.completeBaseName().toLower().toStdString(), file.absoluteFilePath());
        }
        return out;
    }();
    return files;
}

DesktopEntryInfo readEntry(const QString& path, const std::string& fallbackName)
{
    DesktopEntryInfo info{fallbackName, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return info;
    const QString localized = QStringLiteral("Name[%1]=").arg(QLocale().name());
    const QString language = QStringLiteral("Name[%1]=").arg(QLocale().name().section('_', 0, 0));
    QString name, localName;
    bool inMainGroup = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('['))
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
        else if (!inMainGroup)
            continue;
        else if (line.startsWith(QStringLiteral("Name=")))
            name = line.mid(5);
        else if (line.startsWith(localized) || (localName.isEmpty() && line.startsWith(language)))
            localName = line.mid(line.indexOf('=') + 1);
        else if (line.startsWith(QStringLiteral("Icon=")))
            info.iconName = line.mid(5).toStdString();
    }
    if (!localName.isEmpty())
        info.name = localName.toStdString();
    else if (!name.isEmpty())
        info.name = name.toStdString();
    return info;
}

} // namespace

const DesktopEntryInfo& desktopEntry(const std::string& applicationID)
{
    static std::map<std::string, DesktopEntryInfo> cache;
    if (const auto it = cache.find(applicationID); it != cache.end())
        return it->second;
    const std::string key = QString::fromStdString(applicationID).toLower().toStdString();
    const auto& files = entryFiles();
    const auto file = files.find(key);
    DesktopEntryInfo info = file != files.end() ? readEntry(file->second, applicationID)
                                                : DesktopEntryInfo{applicationID, {}};
    return cache.emplace(applicationID, std::move(info)).first->second;
}

QIcon desktopIcon(const std::string& iconName)
{
    if (iconName.empty())
        return {};
    const QString name = QString::fromStdString(iconName);
    if (QFileInfo(name).isAbsolute())
        return QFileInfo::exists(name) ? QIcon(name) : QIcon();
    return QIcon::fromTheme(name);
}

} // namespace hg

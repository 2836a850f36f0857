#include "platform/i18n/qt_preferred_languages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>

namespace hg {

std::vector<std::string> QtPreferredLanguages::preferredLanguages() const
{
    std::vector<std::string> result;
    for (const QString& tag : QLocale::system().uiLanguages())
        result.push_back(tag.toStdString());
    return result;
}

LocaleChangeWatcher::LocaleChangeWatcher(NotificationCenter& center, QObject* parent)
    : QObject(parent), m_center(center)
{
    if (parent)
        parent->installEventFilter(this);
}

bool LocaleChangeWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::LocaleChange)
        m_center.post(kCurrentLocaleDidChangeNotification);
    return QObject::eventFilter(watched, event);
}

} // namespace hg

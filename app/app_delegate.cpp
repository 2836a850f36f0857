#include "app/app_delegate.h"

#include <QCoreApplication>

#include "base/log.h"

namespace hg {

AppDelegate::AppDelegate()
    : m_i18n(m_defaults, m_notifications, m_preferredLanguages),
      m_settings(m_defaults),
      m_preferences(m_defaults, m_loginItem)
{
}

AppDelegate::~AppDelegate()
{
    m_pool.waitForDone();
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_settings.load();
    m_localeWatcher = std::make_unique<LocaleChangeWatcher>(m_notifications, QCoreApplication::instance());
    logFormat("Hushglass: running with the settings of %s (effect %s when last switched)",
              m_defaults.path().toStdString().c_str(), m_settings.effectEnabled ? "on" : "off");
}

void AppDelegate::applicationWillTerminate()
{
    logLine("Hushglass: quitting");
}

} // namespace hg

// The system's preferred languages from Qt (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG), and the locale-change notification for the interface language.
#pragma once

#include <QObject>

#include "base/notification_center.h"
#include "ui/i18n/i18n.h"

namespace hg {

class QtPreferredLanguages final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override;
};

// Posts "Hushglass.currentLocaleDidChange" when Qt reports a locale change.
// Installed on the application object; main thread.
class LocaleChangeWatcher final : public QObject {
    Q_OBJECT
public:
    LocaleChangeWatcher(NotificationCenter& center, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NotificationCenter& m_center;
};

} // namespace hg

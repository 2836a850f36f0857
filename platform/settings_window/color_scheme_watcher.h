// Whether the desktop prefers dark windows: the freedesktop appearance
// setting ("org.freedesktop.appearance" "color-scheme") through the desktop
// portal where one runs, else the lightness of the application palette's
// window colour. `changed` fires when the answer changes.
//
// Created by the settings window host; main thread only.
#pragma once

#include <QObject>
#include <QDBusVariant>
#include <optional>

namespace hg {

class ColorSchemeWatcher final : public QObject {
    Q_OBJECT
public:
    explicit ColorSchemeWatcher(QObject* parent = nullptr);
    [[nodiscard]] bool prefersDark() const;

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // 1 prefers dark, 2 prefers light, 0 no preference; nullopt without a portal.
    std::optional<unsigned> m_portalValue;
};

} // namespace hg

// Control of the running program over the session bus: the well-known name
// io.hushglass.Hushglass with one object, /io/hushglass/Hushglass, whose
// interface io.hushglass.Hushglass offers
//
//     Toggle(), Enable(), Disable(), OpenSettings(), CheckForUpdates(),
//     PerformAction(i action)          the shortcut actions by raw value
//     Enabled (b, read), BlurRadius (d, read, points)
//
// and announces changes of the two properties with
// org.freedesktop.DBus.Properties.PropertiesChanged. The methods run the
// same code as the tray menu and the shortcuts (`Controls`, given by the
// application delegate). Window managers bind keys to it, scripts use it,
// and `hushglass --toggle` and friends talk to it.
//
// Owned by the application delegate; main thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <functional>
#include <optional>

namespace hg {

inline constexpr char kDBusService[] = "io.hushglass.Hushglass";
inline constexpr char kDBusPath[] = "/io/hushglass/Hushglass";
inline constexpr char kDBusInterface[] = "io.hushglass.Hushglass";

class DBusControl final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.hushglass.Hushglass")
    Q_PROPERTY(bool Enabled READ enabled)
    Q_PROPERTY(double BlurRadius READ blurRadius)

public:
    struct Controls {
        std::function<void()> toggle;
        std::function<void(bool)> setEnabled;
        std::function<void()> openSettings;
        std::function<void()> checkForUpdates;
        // False when the raw value names no action.
        std::function<bool(int)> performAction;
        std::function<bool()> isEnabled;
        std::function<double()> blurRadius;
    };

    DBusControl(QDBusConnection connection, Controls controls);
    ~DBusControl() override;

    // Whether the object is exported and the name is ours.
    [[nodiscard]] bool isServing() const { return m_serving; }

    [[nodiscard]] bool enabled() const { return m_controls.isEnabled(); }
    [[nodiscard]] double blurRadius() const { return m_controls.blurRadius(); }

    // Sends PropertiesChanged for whichever property differs from the last
    // value announced. Call after anything may have changed them.
    void announceChanges();

public Q_SLOTS:
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Enable();
    Q_SCRIPTABLE void Disable();
    Q_SCRIPTABLE void OpenSettings();
    Q_SCRIPTABLE void CheckForUpdates();
    Q_SCRIPTABLE void PerformAction(int action);

private:
    QDBusConnection m_connection;
    Controls m_controls;
    bool m_serving = false;
    bool m_lastEnabled = false;
    double m_lastRadius = 0;
};

} // namespace hg

#include "platform/windows/qt_screen_scale.h"

#include <QGuiApplication>
#include <QScreen>

namespace hg {

X11Screens::ScaleProvider qtScreenScale()
{
    return [](const std::string& monitorName) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return 1.0;
        const QString name = QString::fromStdString(monitorName);
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->name() == name)
                return screen->devicePixelRatio();
        }
        return 1.0;
    };
}

} // namespace hg

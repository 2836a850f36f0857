#include "platform/menubar/qt_status_tray.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QPalette>
#include <QPixmap>

#include "base/log.h"
#include "platform/menubar/tray_icon.h"

namespace hg {
namespace {

bool isCheckable(const MenuItem& item)
{
    switch (item.action().value_or(StatusMenuAction::toggle)) {
    case StatusMenuAction::setStrength:
    case StatusMenuAction::toggleAutoPause:
    case StatusMenuAction::toggleCursorReveal:
    case StatusMenuAction::setCursorRadius: return true;
    default: return false;
    }
}

QString actionText(const MenuItem& item)
{
    // Text after a tab is the shortcut column of the menu.
    QString text = QString::fromStdString(item.title());
    if (!item.shortcutText.empty())
        text += QLatin1Char('\t') + QString::fromStdString(item.shortcutText);
    return text;
}

// A tray menu is a window of its own, outside the contexts in which Qt
// matches action shortcuts: its key equivalents are matched here.
class KeyEquivalents final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || event->type() != QEvent::KeyPress)
            return false;
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (QAction* action : menu->actions()) {
            if (action->shortcut().isEmpty() || action->shortcut() != pressed)
                continue;
            menu->close();
            action->trigger();
            return true;
        }
        return false;
    }
};

} // namespace

struct QtStatusTray::BuiltMenu {
    std::unique_ptr<QMenu> menu;
    StatusMenu model;  // keeps the items alive as long as their actions
    std::vector<ScopedConnection> connections;
};

QtStatusTray::QtStatusTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        logLine("Hushglass: no system tray is running; the tray icon appears when one starts. "
                "The shortcuts and `hushglass --toggle` work meanwhile.");
    connect(&m_icon, &QSystemTrayIcon::activated, this, &QtStatusTray::activated);
    updateIcon();
    m_icon.show();
}

QtStatusTray::~QtStatusTray()
{
    m_icon.setContextMenu(nullptr);
    m_icon.hide();
}

void QtStatusTray::updateIcon()
{
    const QColor text = QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
    QPixmap pixmap = QPixmap::fromImage(drawTrayIcon(text, m_opacity));
    pixmap.setDevicePixelRatio(kTrayIconPixels / 18.0);
    m_icon.setIcon(QIcon(pixmap));
}

void QtStatusTray::setIconOpacity(double alpha)
{
    if (alpha == m_opacity && !m_icon.icon().isNull())
        return;
    m_opacity = alpha;
    updateIcon();
}

void QtStatusTray::setAccessibilityDescription(const std::string& text)
{
    m_icon.setToolTip(QString::fromStdString(text));
}

std::unique_ptr<QtStatusTray::BuiltMenu> QtStatusTray::build(const StatusMenu& model)
{
    auto built = std::make_unique<BuiltMenu>();
    built->menu = std::make_unique<QMenu>();
    built->model = model;
    std::function<void(QMenu*, const StatusMenu&)> fill = [&](QMenu* menu, const StatusMenu& items) {
        for (const MenuItemPtr& item : items) {
            if (item->isSeparator()) {
                menu->addSeparator();
                continue;
            }
            if (!item->submenu.empty()) {
                fill(menu->addMenu(QString::fromStdString(item->title())), item->submenu);
                continue;
            }
            QAction* action = menu->addAction(actionText(*item));
            action->setCheckable(isCheckable(*item));
            // Quit answers its key while the menu is open.
            if (item->action() == StatusMenuAction::quit)
                action->setShortcut(QKeySequence(QString::fromStdString(item->shortcutText)));
            action->setChecked(item->isChecked());
            QPointer<QAction> guarded(action);
            std::weak_ptr<MenuItem> weakItem = item;
            built->connections.emplace_back(item->changed.connect([guarded, weakItem] {
                const auto current = weakItem.lock();
                if (!guarded || !current)
                    return;
                guarded->setText(actionText(*current));
                guarded->setChecked(current->isChecked());
            }));
            QObject::connect(action, &QAction::triggered, action, [guarded, weakItem] {
                const auto current = weakItem.lock();
                if (!current)
                    return;
                current->activate();
                // Qt flipped the mark itself; the model decides.
                if (guarded)
                    guarded->setChecked(current->isChecked());
            });
        }
    };
    fill(built->menu.get(), model);
    built->menu->installEventFilter(new KeyEquivalents(built->menu.get()));
    return built;
}

void QtStatusTray::attachMenu(const StatusMenu* menu)
{
    m_icon.setContextMenu(nullptr);
    if (!menu) {
        m_attached.reset();
        return;
    }
    // The old menu may be the one whose action is running: delete it later.
    if (m_attached)
        m_attached->menu.release()->deleteLater();
    m_attached = build(*menu);
    m_icon.setContextMenu(m_attached->menu.get());
}

void QtStatusTray::setClickHandler(std::function<void(MouseButton)> handler)
{
    m_click = std::move(handler);
}

void QtStatusTray::popUpMenu(const StatusMenu& menu)
{
    if (m_popUp)
        m_popUp->menu.release()->deleteLater();
    m_popUp = build(menu);
    // Under the icon when the tray tells where it is, else at the pointer.
    const QRect where = m_icon.geometry();
    const QPoint at = where.isValid() ? where.bottomLeft() + QPoint(0, 1) : QCursor::pos();
    m_popUp->menu->popup(at);
}

QMenu* QtStatusTray::currentMenu() const
{
    if (m_popUp && m_popUp->menu && m_popUp->menu->isVisible())
        return m_popUp->menu.get();
    return m_attached ? m_attached->menu.get() : nullptr;
}

void QtStatusTray::activated(QSystemTrayIcon::ActivationReason reason)
{
    const bool right = reason == QSystemTrayIcon::Context;
    if (reason != QSystemTrayIcon::Trigger && !right)
        return;
    if (m_attached) {
        // The tray opens an attached menu on a right click itself; a left
        // click opens it here.
        if (!right)
            m_attached->menu->popup(QCursor::pos());
        return;
    }
    if (m_click)
        m_click(right ? MouseButton::right : MouseButton::left);
}

} // namespace hg

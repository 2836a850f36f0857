#include "platform/settings_window/qt_settings_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <xcb/xcb.h>

#include "base/signal.h"

namespace hg {
namespace {

// Asks the window manager to activate `window` as a pager would (source 2):
// window managers honour that without their focus-stealing checks, which
// would refuse a window opened from the tray or a global shortcut whose key
// press Qt never saw.
void requestActivation(QWidget* window)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window->winId());
    event.type = atom->atom;
    event.data.data32[0] = 2;  // source: pager
    event.data.data32[1] = XCB_CURRENT_TIME;
    free(atom);
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

} // namespace

// The top-level window. It outlives its handle by one event loop pass, so it
// never refers back to the host once the handle is gone.
class QtSettingsWindowHost::Window final : public QMainWindow {
public:
    Window(QtSettingsWindowHost& host, SettingsTabSelection& selection, std::function<void()> onClose)
        : m_onClose(std::move(onClose))
    {
        m_root = new SettingsRootView(host.m_deps, selection, this);
        setCentralWidget(m_root);
        resize(940, 640 + menuBar()->sizeHint().height());
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    SettingsRootView* root() const { return m_root; }
    void forgetClose() { m_onClose = nullptr; }

    void applyAppearance(bool dark)
    {
        m_root->setDark(dark);
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, dark ? QColor(0x1A, 0x1C, 0x25) : QColor(0xF1, 0xF3, 0xF8));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        palette.setColor(QPalette::ButtonText, dark ? Qt::white : Qt::black);
        palette.setColor(QPalette::Base, dark ? QColor(0x2A, 0x2D, 0x38) : Qt::white);
        palette.setColor(QPalette::Text, dark ? Qt::white : Qt::black);
        menuBar()->setPalette(palette);
        setPalette(palette);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        hide();
        if (auto close = std::exchange(m_onClose, nullptr))
            close();
    }

private:
    SettingsRootView* m_root;
    std::function<void()> m_onClose;
};

// What the controller holds: the window's face towards the core.
class QtSettingsWindowHost::Handle final : public SettingsWindow {
public:
    Handle(QtSettingsWindowHost& host, SettingsWindowController& controller, SettingsTabSelection& selection)
        : m_host(host)
    {
        m_window = new Window(host, selection, [&controller] { controller.windowWillClose(); });
        buildMainMenu(m_window->menuBar(), host.m_deps.i18n, host.m_menu);
        m_languageObserver = host.m_deps.notifications.addObserver(std::string(kLanguageDidChangeNotification), [this] {
            buildMainMenu(m_window->menuBar(), m_host.m_deps.i18n, m_host.m_menu);
        });
        m_schemeConnection = QObject::connect(&host.m_scheme, &ColorSchemeWatcher::changed, m_window,
                                              [this] { applyAppearance(); });
        host.m_open = m_window;
    }
    ~Handle() override
    {
        m_host.m_deps.notifications.removeObserver(m_languageObserver);
        QObject::disconnect(m_schemeConnection);
        if (m_host.m_open == m_window)
            m_host.m_open = nullptr;
        m_window->forgetClose();
        m_window->hide();
        m_window->deleteLater();
    }

    void setTitle(const std::string& title) override { m_window->setWindowTitle(QString::fromStdString(title)); }
    void setAppearance(AppearancePreference appearance) override
    {
        m_appearance = appearance;
        applyAppearance();
    }
    bool isVisible() const override { return m_window->isVisible(); }
    bool isKey() const override { return m_window->isActiveWindow(); }
    void makeKeyAndOrderFront() override
    {
        if (m_window->isMinimized())
            m_window->showNormal();
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        requestActivation(m_window);
    }

private:
    void applyAppearance()
    {
        m_window->applyAppearance(m_appearance == AppearancePreference::dark ||
                                  (m_appearance == AppearancePreference::system && m_host.m_scheme.prefersDark()));
    }

    QtSettingsWindowHost& m_host;
    Window* m_window;
    AppearancePreference m_appearance = AppearancePreference::system;
    NotificationToken m_languageObserver;
    QMetaObject::Connection m_schemeConnection;
};

QtSettingsWindowHost::QtSettingsWindowHost(SettingsWindowDeps deps, MainMenuActions menu)
    : m_deps(std::move(deps)), m_menu(std::move(menu))
{
}

QtSettingsWindowHost::~QtSettingsWindowHost() = default;

std::unique_ptr<SettingsWindow> QtSettingsWindowHost::createWindow(SettingsWindowController& controller,
                                                                   SettingsTabSelection& selection)
{
    return std::make_unique<Handle>(*this, controller, selection);
}

SettingsRootView* QtSettingsWindowHost::rootView() const { return m_open ? m_open->root() : nullptr; }

QMainWindow* QtSettingsWindowHost::topLevel() const { return m_open; }

void buildMainMenu(QMenuBar* bar, const I18n& i18n, const MainMenuActions& actions)
{
    bar->clear();
    QMenu* app = bar->addMenu(QStringLiteral("Hushglass"));
    app->addAction(QString::fromStdString(i18n.translate("关于Hushglass")), bar,
                   [actions] { if (actions.showAbout) actions.showAbout(); });
    app->addSeparator();
    app->addAction(QString::fromStdString(i18n.translate("退出Hushglass")), QKeySequence(QStringLiteral("Ctrl+Q")), bar,
                   [actions] { if (actions.quit) actions.quit(); });

    // Edit commands go to the focused text field, as a responder chain would.
    const auto toFocus = [](const char* method) {
        return [method] {
            if (QWidget* focus = QApplication::focusWidget())
                QMetaObject::invokeMethod(focus, method);
        };
    };
    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    edit->addAction(QStringLiteral("Undo"), QKeySequence::Undo, bar, toFocus("undo"));
    edit->addAction(QStringLiteral("Redo"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")), bar, toFocus("redo"));
    edit->addSeparator();
    edit->addAction(QStringLiteral("Cut"), QKeySequence::Cut, bar, toFocus("cut"));
    edit->addAction(QStringLiteral("Copy"), QKeySequence::Copy, bar, toFocus("copy"));
    edit->addAction(QStringLiteral("Paste"), QKeySequence::Paste, bar, toFocus("paste"));
    edit->addAction(QStringLiteral("Select All"), QKeySequence::SelectAll, bar, toFocus("selectAll"));

    QMenu* window = bar->addMenu(QStringLiteral("Window"));
    window->addAction(QStringLiteral("Close Window"), QKeySequence(QStringLiteral("Ctrl+W")), bar,
                      [bar] { bar->window()->close(); });
    window->addAction(QStringLiteral("Minimize"), QKeySequence(QStringLiteral("Ctrl+M")), bar,
                      [bar] { bar->window()->showMinimized(); });
}

} // namespace hg

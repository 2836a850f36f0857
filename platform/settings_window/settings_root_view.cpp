#include "platform/settings_window/settings_root_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "engine/controller/system_notifications.h"
#include "platform/settings_window/desktop_entries.h"
#include "platform/settings_window/settings_key_events.h"
#include "platform/settings_window/sidebar_tab_button.h"
#include "ui/settings/settings_search.h"

namespace hg {

SettingsRootView::SettingsRootView(SettingsWindowDeps deps, SettingsTabSelection& selection, QWidget* parent)
    : QWidget(parent), m_deps(std::move(deps)), m_selection(selection)
{
    setMinimumSize(900, 620);
    if (m_deps.hotkeys)
        m_recorder = std::make_unique<ShortcutRecorder>(*m_deps.hotkeys, m_deps.i18n);
    m_actions = std::make_unique<SettingsActions>(SettingsActionTargets{
        m_deps.privacy, m_deps.preferences, m_deps.i18n, m_deps.updater, m_recorder.get(), m_deps.openCaptureHelp});
    m_host = std::make_unique<ScreenViewHost>(ScreenViewHost{
        *m_actions, m_deps.i18n,
        [this] {
            m_showTintPicker = !m_showTintPicker;
            refreshNow();
        },
        [this] {
            std::vector<std::pair<std::string, std::string>> out;
            if (!m_deps.workspace)
                return out;
            for (const RunningApplication& app : m_deps.workspace->runningApplications()) {
                if (!app.isRegular || app.bundleIdentifier == std::string("hushglass"))
                    continue;
                const std::string id = app.bundleIdentifier.value_or("");
                if (std::any_of(out.begin(), out.end(), [&](const auto& c) { return !id.empty() && c.first == id; }))
                    continue;
                out.emplace_back(id, id.empty() ? std::string() : desktopEntry(id).name);
            }
            std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
            return out;
        },
        [](const std::string& idOrIcon) {
            const QIcon icon = desktopIcon(idOrIcon);
            return icon.isNull() ? desktopIcon(desktopEntry(idOrIcon).iconName) : icon;
        }});

    m_backdrop = new SettingsBackdrop(this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* sidebar = new QWidget(this);
    sidebar->setFixedWidth(216);
    buildSidebar(sidebar);
    row->addWidget(sidebar);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(32, 24, 32, 32);
    column->setSpacing(0);
    m_searchHeader = new PageHeader({}, {}, nullptr, content);
    column->addWidget(m_searchHeader);
    for (SettingsTab tab : kSettingsTabs) {
        auto* view = new ScreenView(*m_host, content);
        m_views[tab] = view;
        column->addWidget(view);
    }
    column->addStretch(1);
    m_scroll->setWidget(content);
    row->addWidget(m_scroll, 1);

    const auto changed = [this] { scheduleRefresh(); };
    m_subscriptions.emplace_back(m_deps.privacy.objectWillChange.connect(changed));
    m_subscriptions.emplace_back(m_deps.preferences.objectWillChange.connect(changed));
    m_subscriptions.emplace_back(m_selection.objectWillChange.connect(changed));
    if (m_deps.hotkeys)
        m_subscriptions.emplace_back(m_deps.hotkeys->objectWillChange.connect(changed));
    if (m_deps.updater)
        m_subscriptions.emplace_back(m_deps.updater->objectWillChange.connect(changed));
    if (m_recorder)
        m_subscriptions.emplace_back(m_recorder->objectWillChange.connect(changed));
    m_languageObserver = m_deps.notifications.addObserver(std::string(kLanguageDidChangeNotification), [this] {
        m_languageChanged = true;
        scheduleRefresh();
    });
    m_screensObserver = m_deps.notifications.addObserver(std::string(notifications::screenParametersChanged), [this] {
        refreshDetectedScreens();
        scheduleRefresh();
    });
    connect(m_search, &QLineEdit::textChanged, this, [this] { refreshNow(); });
    refreshDetectedScreens();
    qApp->installEventFilter(this);
    refreshNow();
}

SettingsRootView::~SettingsRootView()
{
    qApp->removeEventFilter(this);
    m_deps.notifications.removeObserver(m_languageObserver);
    m_deps.notifications.removeObserver(m_screensObserver);
}

ScreenView* SettingsRootView::screenView(SettingsTab tab) const { return m_views.at(tab); }

void SettingsRootView::resizeEvent(QResizeEvent* event)
{
    m_backdrop->setGeometry(rect());
    m_backdrop->lower();
    QWidget::resizeEvent(event);
}

void SettingsRootView::setDark(bool dark)
{
    if (m_scheme.dark == dark && m_backdrop->property("schemeSet").toBool())
        return;
    m_scheme.dark = dark;
    m_backdrop->setProperty("schemeSet", true);
    static_cast<SettingsBackdrop*>(m_backdrop)->setScheme(m_scheme);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, m_scheme.primaryText());
    palette.setColor(QPalette::PlaceholderText, m_scheme.faintText());
    palette.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(palette);
    refreshNow();
}

void SettingsRootView::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] { refreshNow(); });
}

void SettingsRootView::refreshDetectedScreens()
{
    m_detectedScreens.clear();
    if (!m_deps.screens)
        return;
    int index = 0;
    for (const Screen& screen : m_deps.screens->screens()) {
        DetectedScreen detected;
        detected.displayID = screen.displayNumber ? std::to_string(*screen.displayNumber)
                                                  : "screen-" + std::to_string(index) + "-" + screen.name;
        detected.index = index++;
        detected.name = screen.name;
        detected.width = static_cast<int>(std::lround(screen.frame.size.width));
        detected.height = static_cast<int>(std::lround(screen.frame.size.height));
        m_detectedScreens.push_back(detected);
    }
}

} // namespace hg

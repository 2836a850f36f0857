// The root view's sidebar, its refresh from the live objects, and the
// window's keyboard handling.
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QKeyEvent>
#include <QScrollBar>

#include "engine/controller/privacy_controller.h"
#include "platform/settings_window/desktop_entries.h"
#include "platform/settings_window/settings_key_events.h"
#include "platform/settings_window/settings_root_view.h"
#include "platform/settings_window/sidebar_tab_button.h"
#include "ui/settings/settings_search.h"

namespace hg {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

void setTextColor(QWidget* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QString rgba(const QColor& c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

} // namespace

void SettingsRootView::buildSidebar(QWidget* sidebar)
{
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    auto* icon = new QLabel(sidebar);
    icon->setPixmap(appIconPixmap(40, devicePixelRatioF()));
    icon->setFixedSize(40, 40);
    header->addWidget(icon);
    auto* names = new QVBoxLayout;
    names->setSpacing(0);
    m_appName = new QLabel(sidebar);
    m_appName->setFont(glass::font(15, 600, -0.16));
    m_version = new QLabel(qs(HUSHGLASS_VERSION), sidebar);
    m_version->setFont(glass::font(11, 500, 0.4));
    names->addWidget(m_appName);
    names->addWidget(m_version);
    header->addLayout(names, 1);
    column->addLayout(header);
    column->addSpacing(12);

    auto* searchBox = new QFrame(sidebar);
    searchBox->setObjectName(QStringLiteral("searchBox"));
    auto* searchRow = new QHBoxLayout(searchBox);
    searchRow->setContentsMargins(6, 2, 6, 2);
    searchRow->setSpacing(4);
    m_searchIcon = new QLabel(searchBox);
    m_searchIcon->setFixedSize(22, 22);
    m_searchIcon->setAlignment(Qt::AlignCenter);
    m_search = new QLineEdit(searchBox);
    m_search->setFrame(false);
    m_search->setFont(glass::font(13, 500));
    m_search->setClearButtonEnabled(false);
    m_searchCap = new KeyCap(qs(searchKeyCapText()), searchBox);
    searchRow->addWidget(m_searchIcon);
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_searchCap);
    column->addWidget(searchBox);
    column->addSpacing(10);

    int position = 0;
    for (const SidebarTab& tab : sidebarTabs(m_deps.i18n)) {
        auto* button = new SidebarTabButton(tab, sidebar);
        connect(button, &QAbstractButton::clicked, this, [this, position] { selectTab(position); });
        m_tabButtons.push_back(button);
        column->addWidget(button);
        ++position;
    }
    column->addStretch(1);
}

void SettingsRootView::refreshSidebar()
{
    m_appName->setText(qs(m_deps.i18n.translate("Hushglass")));
    setTextColor(m_appName, m_scheme.primaryText());
    setTextColor(m_version, m_scheme.faintText());
    m_search->setPlaceholderText(qs(m_deps.i18n.translate("搜索…")));
    m_search->setAccessibleName(qs(m_deps.i18n.translate("搜索…")));
    m_search->setAccessibleDescription(qs(searchKeyCapText()));
    m_searchIcon->setPixmap(glass::icon(QStringLiteral("magnifyingglass"), m_scheme.secondaryText(), 14, devicePixelRatioF()));
    m_searchCap->setScheme(m_scheme);
    auto* box = m_search->parentWidget();
    box->setStyleSheet(QStringLiteral("#searchBox{background:%1;border:1px solid %2;border-radius:9px;}"
                                      "QLineEdit{background:transparent;border:none;color:%3;}")
                           .arg(rgba(m_scheme.controlFill()), rgba(m_scheme.panelStroke()), rgba(m_scheme.primaryText())));
    const auto tabs = sidebarTabs(m_deps.i18n);
    for (std::size_t i = 0; i < tabs.size(); ++i)
    {
        m_tabButtons[i]->setTab(tabs[i]);
        m_tabButtons[i]->setScheme(m_scheme);
        m_tabButtons[i]->setChecked(tabs[i].tab == m_selection.tab.get());
    }
}

void SettingsRootView::selectTab(int position)
{
    if (position < 0 || position >= static_cast<int>(kSettingsTabs.size()))
        return;
    m_selection.tab.set(kSettingsTabs[position]);
}

SettingsState SettingsRootView::readState() const
{
    const PrivacyController& privacy = m_deps.privacy;
    const SettingsStore& store = privacy.store();
    SettingsState s;
    s.effectEnabled = privacy.isEnabled();
    s.usesVibrancy = privacy.usesVibrancy();
    s.blurRadius = store.blurRadius;
    s.blurEnabled = store.blurEnabled;
    s.tintColor = store.blurTintColor;
    s.tintAmount = store.blurTintAmount;
    s.revealCursor = store.revealCursor;
    s.cursorRevealRadius = store.cursorRevealRadius;
    s.pauseForFullScreenApps = store.pauseForFullScreenApps;
    s.blurExcludedFromCapture = store.blurExcludedFromCapture;
    for (const std::string& id : store.excludedApps.bundleIDs()) {
        const DesktopEntryInfo& entry = desktopEntry(id);
        s.excludedApps.push_back({id, entry.name, entry.iconName});
    }
    s.excludedDisplayIDs = store.excludedDisplayIDs;
    s.detectedScreens = m_detectedScreens;
    s.hasAddCandidates = m_deps.workspace && !m_host->addCandidates().empty();
    s.menuBarClickAction = m_deps.preferences.menuBarClickAction();
    s.colorScheme = m_deps.preferences.colorScheme();
    s.language = m_deps.i18n.language();
    s.launchAtLogin = m_deps.preferences.launchAtLogin();
    s.runsFromInstalledLocation = !m_deps.runsFromInstalledLocation || m_deps.runsFromInstalledLocation();
    if (m_deps.hotkeys)
        for (HotkeyAction action : kHotkeyActions)
            if (const auto combo = m_deps.hotkeys->combo(action))
                s.shortcutTexts[action] = linuxShortcutText(*combo);
    if (m_recorder) {
        s.recordingAction = m_recorder->recordingAction();
        s.captureError = m_recorder->captureError();
    }
    s.showTintPicker = m_showTintPicker;
    if (m_deps.updater) {
        s.updateStatus = m_deps.updater->status();
        s.automaticallyChecksForUpdates = m_deps.updater->automaticallyChecksForUpdates();
        s.lastUpdateCheckDate = m_deps.updater->lastUpdateCheckDate();
    }
    s.now = m_deps.now ? m_deps.now() : 0;
    s.captureGranted = !m_deps.captureGranted || m_deps.captureGranted();
    s.version = HUSHGLASS_VERSION;
    return s;
}

void SettingsRootView::refreshNow()
{
    m_refreshPending = false;
    const bool languageChanged = std::exchange(m_languageChanged, false);
    const SettingsState state = readState();
    const std::string search = m_search->text().toStdString();
    refreshSidebar();
    m_searchHeader->setVisible(!search.empty());
    if (!search.empty()) {
        const auto [title, subtitle] = searchHeader(m_deps.i18n, search);
        m_searchHeader->setTexts(qs(title), qs(subtitle));
        m_searchHeader->setScheme(m_scheme);
    }
    const bool tabChanged = m_shownTab && *m_shownTab != m_selection.tab.get() && search.empty();
    m_shownTab = m_selection.tab.get();
    for (SettingsTab tab : kSettingsTabs) {
        ScreenView* view = m_views[tab];
        const bool shown = !search.empty() || tab == m_selection.tab.get();
        view->setVisible(shown);
        if (!shown)
            continue;
        if (languageChanged)
            view->invalidate();
        view->apply(buildScreen(tab, state, m_deps.i18n, search), m_scheme);
        if (tabChanged)
            fadeIn(view);
    }
}

void SettingsRootView::fadeIn(QWidget* view)
{
    // The new screen fades in along the tab curve; the effect goes once done,
    // so that scrolling and painting pay nothing for it afterwards.
    auto* effect = new QGraphicsOpacityEffect(view);
    effect->setOpacity(0);
    view->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setDuration(glass::kTabDurationMs);
    animation->setEasingCurve(glass::tabCurve());
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QPropertyAnimation::finished, view, [view] { view->setGraphicsEffect(nullptr); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool SettingsRootView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Key presses reach the filter once per receiver up the chain; look only
    // at the first delivery, to a widget of a window.
    if (!widget || !widget->isWindow() && widget != QApplication::focusWidget())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (m_recorder && m_recorder->recordingAction())
        return handleRecorderKey(key);
    if (widget->window() != window())
        return false;
    return handleWindowKey(key);
}

bool SettingsRootView::handleRecorderKey(QKeyEvent* event)
{
    if (const std::optional<KeyDownEvent> down = recorderKeyDown(*event))
        m_recorder->keyDown(*down);
    return true;  // while recording every key press is the recorder's
}

bool SettingsRootView::handleWindowKey(QKeyEvent* event)
{
    const std::optional<CaughtKey> caught = catchKey(windowKeyPress(*event));
    if (!caught)
        return false;
    switch (caught->kind) {
    case CaughtKey::Kind::escape:
        if (m_search->text().isEmpty() && !m_search->hasFocus())
            return false;
        m_search->clear();
        m_search->clearFocus();
        m_scroll->setFocus();
        return true;
    case CaughtKey::Kind::tab:
        selectTab(caught->tabPosition);
        return true;
    case CaughtKey::Kind::search:
        m_search->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return false;
}

} // namespace hg

#include "ui/menubar/status_item_controller.h"

#include "engine/controller/privacy_controller.h"
#include "ui/i18n/i18n.h"
#include "ui/shortcuts/effect_commands.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {
namespace {

// Opacity of the icon while the effect is off.
constexpr double kDimmedOpacity = 0.45;

// Shown beside the quit item: the desktop's usual quit key.
constexpr std::string_view kQuitShortcut = "Ctrl+Q";

std::string shortcutText(const HotkeyManager& hotkeys, HotkeyAction action)
{
    const auto combo = hotkeys.combo(action);
    if (!combo || !combo->menuKeyEquivalent())
        return {};
    return linuxShortcutText(*combo);
}

} // namespace

StatusItemController::StatusItemController(StatusItemPorts ports) : m_ports(std::move(ports))
{
    m_ports.tray.setAccessibilityDescription(m_ports.i18n.translate("Hushglass"));
    m_enabledObserver = m_ports.privacy.enabledChanged.connect([weak = m_weak.get()](bool enabled) {
        if (auto* self = weak.get())
            self->refresh(enabled);
    });
    refresh(m_ports.privacy.isEnabled());
    m_languageObserver = m_ports.notifications.addObserver(std::string(kLanguageDidChangeNotification),
                                                           [weak = m_weak.get()] {
                                                               if (auto* self = weak.get())
                                                                   self->configure();
                                                           });
    // The new value is announced before it is stored: configure once it is.
    m_clickActionSubscription =
        m_ports.preferences.menuBarClickActionChanged().connect([weak = m_weak.get(), &queue = m_ports.queue](auto&) {
            queue.post([weak] {
                if (auto* self = weak.get())
                    self->configure();
            });
        });
    configure();
}

StatusItemController::~StatusItemController()
{
    m_ports.notifications.removeObserver(m_languageObserver);
    m_ports.tray.attachMenu(nullptr);
    m_ports.tray.setClickHandler({});
}

void StatusItemController::configure()
{
    m_ports.tray.setAccessibilityDescription(m_ports.i18n.translate("Hushglass"));
    if (m_ports.preferences.menuBarClickAction() == MenuBarClickAction::showMenu) {
        buildMenu();
        m_ports.tray.setClickHandler({});
        m_ports.tray.attachMenu(&m_menu);
        return;
    }
    m_ports.tray.attachMenu(nullptr);
    m_ports.tray.setClickHandler([weak = m_weak.get()](MouseButton button) {
        if (auto* self = weak.get())
            self->statusBarClicked(button);
    });
}

void StatusItemController::refresh(bool enabled)
{
    if (m_toggleItem)
        m_toggleItem->setTitle(toggleTitle(enabled));
    m_ports.tray.setIconOpacity(enabled ? 1.0 : kDimmedOpacity);
}

void StatusItemController::statusBarClicked(MouseButton button)
{
    if (button == MouseButton::right)
        return popUpMenu();
    switch (m_ports.preferences.menuBarClickAction()) {
    case MenuBarClickAction::showMenu: return popUpMenu();
    case MenuBarClickAction::toggleBlur: return toggle();
    case MenuBarClickAction::openSettings: return openSettingsWindow();
    }
}

void StatusItemController::popUpMenu()
{
    buildMenu();
    m_ports.tray.popUpMenu(m_menu);
}

std::string StatusItemController::toggleTitle(bool enabled) const
{
    return m_ports.i18n.translate(enabled ? "停用隐私模糊" : "启用隐私模糊");
}

MenuItemPtr StatusItemController::item(std::string title, StatusMenuAction action)
{
    auto made = MenuItem::make(std::move(title), action);
    made->onActivate = [weak = m_weak.get()](MenuItem& sender) {
        if (auto* self = weak.get())
            self->dispatch(sender);
    };
    return made;
}

void StatusItemController::buildMenu()
{
    const SettingsStore& store = m_ports.privacy.store();
    m_menu.clear();
    m_strengthItems.clear();
    m_cursorRadiusItems.clear();

    m_toggleItem = item(toggleTitle(m_ports.privacy.isEnabled()), StatusMenuAction::toggle);
    m_toggleItem->shortcutText = shortcutText(m_ports.hotkeys, HotkeyAction::toggleBlur);
    m_menu.push_back(m_toggleItem);

    auto strength = MenuItem::make(m_ports.i18n.translate("模糊强度"), std::nullopt);
    for (const BlurLevel& level : kBlurLevels) {
        // Labels read the same in both languages.
        auto levelItem = item(std::string(level.label), StatusMenuAction::setStrength);
        levelItem->representedObject = level.radius;
        // Exactly equal: a radius between two levels marks none.
        levelItem->setChecked(level.radius == store.blurRadius);
        strength->submenu.push_back(levelItem);
        m_strengthItems.push_back(levelItem);
    }
    m_menu.push_back(strength);

    m_autoPauseItem = item(m_ports.i18n.translate("全屏时停止模糊"), StatusMenuAction::toggleAutoPause);
    m_autoPauseItem->setChecked(store.pauseForFullScreenApps);
    m_menu.push_back(m_autoPauseItem);

    m_cursorItem = item(m_ports.i18n.translate("鼠标周围保持清晰"), StatusMenuAction::toggleCursorReveal);
    m_menu.push_back(m_cursorItem);

    auto radius = MenuItem::make(m_ports.i18n.translate("光标清晰范围"), std::nullopt);
    for (const CursorRevealRadius& choice : kCursorRevealRadii) {
        auto radiusItem = item(std::string(choice.label), StatusMenuAction::setCursorRadius);
        radiusItem->representedObject = choice.radius;
        radius->submenu.push_back(radiusItem);
        m_cursorRadiusItems.push_back(radiusItem);
    }
    m_menu.push_back(radius);
    updateRevealMarks();

    m_menu.push_back(item(m_ports.i18n.translate("检查更新…"), StatusMenuAction::checkForUpdates));
    m_menu.push_back(MenuItem::separator());
    auto settings = item(m_ports.i18n.translate("设置…"), StatusMenuAction::openSettingsWindow);
    settings->shortcutText = shortcutText(m_ports.hotkeys, HotkeyAction::openSettings);
    m_menu.push_back(settings);
    m_menu.push_back(MenuItem::separator());
    auto quitItem = item(m_ports.i18n.translate("退出"), StatusMenuAction::quit);
    quitItem->shortcutText = kQuitShortcut;
    m_menu.push_back(quitItem);
}

void StatusItemController::dispatch(MenuItem& sender)
{
    switch (*sender.action()) {
    case StatusMenuAction::toggle: return toggle();
    case StatusMenuAction::setStrength: return setStrength(sender);
    case StatusMenuAction::toggleAutoPause: return toggleAutoPause();
    case StatusMenuAction::toggleCursorReveal: return toggleCursorReveal();
    case StatusMenuAction::setCursorRadius: return setCursorRadius(sender);
    case StatusMenuAction::checkForUpdates: return checkForUpdates();
    case StatusMenuAction::openSettingsWindow: return openSettingsWindow();
    case StatusMenuAction::quit: return quit();
    }
}

void StatusItemController::toggle()
{
    effect_commands::toggle(m_ports.privacy);
}

void StatusItemController::setStrength(const MenuItem& sender)
{
    if (!sender.representedObject)
        return;
    m_ports.privacy.setBlurRadius(*sender.representedObject);
    for (const MenuItemPtr& level : m_strengthItems)
        level->setChecked(level.get() == &sender);
}

void StatusItemController::toggleAutoPause()
{
    effect_commands::toggleFullScreenPause(m_ports.privacy);
    if (m_autoPauseItem)
        m_autoPauseItem->setChecked(m_ports.privacy.store().pauseForFullScreenApps);
}

void StatusItemController::toggleCursorReveal()
{
    effect_commands::toggleCursorReveal(m_ports.privacy);
    updateRevealMarks();
}

void StatusItemController::setCursorRadius(const MenuItem& sender)
{
    if (!sender.representedObject)
        return;
    PrivacyController& privacy = m_ports.privacy;
    privacy.setCursorRevealRadius(*sender.representedObject);
    privacy.store().changeRevealCursor(true, [&] { privacy.objectWillChange.emit(); });
    updateRevealMarks();
}

void StatusItemController::updateRevealMarks()
{
    const SettingsStore& store = m_ports.privacy.store();
    if (m_cursorItem)
        m_cursorItem->setChecked(store.revealCursor);
    for (const MenuItemPtr& radius : m_cursorRadiusItems)
        radius->setChecked(store.revealCursor && radius->representedObject == store.cursorRevealRadius);
}

void StatusItemController::checkForUpdates()
{
    if (m_ports.updater.isChecking())
        return;
    m_ports.updater.markChecking();
    m_ports.updater.checkForUpdatesInForeground();
}

void StatusItemController::openSettingsWindow()
{
    if (m_ports.openSettings)
        m_ports.openSettings();
}

void StatusItemController::quit()
{
    m_ports.privacy.disable();
    if (m_ports.terminate)
        m_ports.terminate();
}

} // namespace hg

#include "ui/shortcuts/hotkey_manager.h"

#include "engine/controller/privacy_controller.h"
#include "settings/settings_store.h"
#include "ui/shortcuts/effect_commands.h"

namespace hg {
namespace {

std::array<double, 7> levelRadii()
{
    std::array<double, 7> radii{};
    for (std::size_t i = 0; i < radii.size(); ++i)
        radii[i] = kBlurLevels[i].radius;
    return radii;
}

} // namespace

HotkeyManager::HotkeyManager(DefaultsDomain& defaults, HotkeyRegistrar& registrar)
    : blurLevels(levelRadii()), m_defaults(defaults), m_registrar(registrar)
{
    loadAssignments();
}

HotkeyAssignments HotkeyManager::factoryDefaults()
{
    using namespace carbon_modifiers;
    return {
        {rawValue(HotkeyAction::toggleBlur), {11, command | option, "B"}},
        {rawValue(HotkeyAction::openSettings), {43, command | option, ","}},
    };
}

void HotkeyManager::loadAssignments()
{
    // An empty table is a choice (every shortcut cleared) and stays empty.
    if (const auto data = m_defaults.data(defaults_keys::hotkeyAssignments)) {
        const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
        if (auto table = decodeHotkeyAssignments(text)) {
            m_assignments = std::move(*table);
            return;
        }
    }
    m_assignments = factoryDefaults();
}

void HotkeyManager::save()
{
    const std::string json = encodeHotkeyAssignments(m_assignments);
    m_defaults.setData(defaults_keys::hotkeyAssignments, Bytes(json.begin(), json.end()));
}

void HotkeyManager::installHandler()
{
    if (m_handlerInstalled)
        return;
    m_handlerInstalled = m_registrar.installHandler([weak = m_weak.get()](HotkeyID id) {
        if (auto* self = weak.get())
            self->handle(id);
    });
}

void HotkeyManager::handle(HotkeyID id)
{
    // The signature is not checked: only this program's registrations report here.
    if (const auto action = hotkeyActionFromRaw(id.id))
        perform(*action);
}

void HotkeyManager::registerAll()
{
    for (HotkeyAction action : kHotkeyActions)
        if (m_assignments.contains(rawValue(action)))
            registerAction(action);
}

void HotkeyManager::unregisterAll()
{
    for (HotkeyAction action : kHotkeyActions)
        unregisterAction(action);
}

void HotkeyManager::registerAction(HotkeyAction action)
{
    unregisterAction(action);
    const auto it = m_assignments.find(rawValue(action));
    if (it == m_assignments.end())
        return;
    const HotkeyID id{kSignature, static_cast<std::uint32_t>(rawValue(action))};
    if (const auto ref = m_registrar.registerHotkey(it->second.keyCode, it->second.carbonModifiers, id))
        m_refs[rawValue(action)] = *ref;
}

void HotkeyManager::unregisterAction(HotkeyAction action)
{
    const auto it = m_refs.find(rawValue(action));
    if (it == m_refs.end())
        return;
    const HotkeyRef ref = it->second;
    m_refs.erase(it);
    m_registrar.unregisterHotkey(ref);
}

std::optional<HotkeyCombo> HotkeyManager::combo(HotkeyAction action) const
{
    const auto it = m_assignments.find(rawValue(action));
    if (it == m_assignments.end())
        return std::nullopt;
    return it->second;
}

void HotkeyManager::assign(const HotkeyCombo& combo, HotkeyAction action)
{
    // The last assignment wins: one combination belongs to at most one entry,
    // including entries under numbers that name no action.
    for (auto it = m_assignments.begin(); it != m_assignments.end();) {
        if (it->first == rawValue(action) || it->second != combo) {
            ++it;
            continue;
        }
        const auto previous = hotkeyActionFromRaw(it->first);
        it = m_assignments.erase(it);
        if (previous)
            unregisterAction(*previous);
    }
    m_assignments[rawValue(action)] = combo;
    registerAction(action);
    save();
    objectWillChange.emit();
}

void HotkeyManager::clear(HotkeyAction action)
{
    m_assignments.erase(rawValue(action));
    unregisterAction(action);
    save();
    objectWillChange.emit();
}

void HotkeyManager::perform(HotkeyAction action)
{
    PrivacyController* controller = privacy.get();
    if (!controller)
        return;
    switch (action) {
    case HotkeyAction::toggleBlur:
        effect_commands::toggle(*controller);
        return;
    case HotkeyAction::openSettings:
        if (openSettingsAction)
            openSettingsAction();
        return;
    case HotkeyAction::toggleCursorReveal:
        effect_commands::toggleCursorReveal(*controller);
        return;
    case HotkeyAction::cycleBlurStrength:
        effect_commands::cycleBlurStrength(*controller, blurLevels);
        return;
    case HotkeyAction::togglePauseFullScreen:
        effect_commands::toggleFullScreenPause(*controller);
        return;
    }
}

} // namespace hg

// The global shortcuts: the table of assignments, its persistence under
// "hotkeys.assignments", the registration of every assigned shortcut with the
// desktop, and the actions a pressed shortcut runs.
//
// The application delegate owns the one manager for the life of the process.
// At launch it sets `privacy` and `openSettingsAction`, then calls
// `installHandler()` and `registerAll()`; at termination `unregisterAll()`,
// before the effect is switched off. The settings window's recorder calls
// `unregisterAll()` while it listens for a new combination and `registerAll()`
// afterwards, and observes `objectWillChange`, which is sent after every
// `assign` and `clear`.
//
// A combination the desktop refuses (another program holds it) keeps its
// assignment but gets no reference and never fires; nothing is logged.
//
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "base/defaults.h"
#include "base/signal.h"
#include "base/weak_ptr.h"
#include "ui/shortcuts/hotkey_combo.h"
#include "ui/shortcuts/hotkey_json.h"

namespace hg {

class PrivacyController;

// Identifies a registered shortcut to the handler: this program's signature
// and the action's raw value.
struct HotkeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

using HotkeyRef = std::uint64_t;

// The desktop's registry of system-wide shortcuts.
class HotkeyRegistrar {
public:
    virtual ~HotkeyRegistrar() = default;
    // Installs the one handler that hears pressed shortcuts, with the id they
    // were registered under; false when it could not be installed.
    virtual bool installHandler(std::function<void(HotkeyID)> handler) = 0;
    // A reference to the registration, or nullopt when the desktop refused it
    // (another program holds the combination, or the key does not exist here).
    virtual std::optional<HotkeyRef> registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                    HotkeyID id) = 0;
    virtual void unregisterHotkey(HotkeyRef ref) = 0;
};

namespace defaults_keys {
inline constexpr std::string_view hotkeyAssignments = "hotkeys.assignments";
} // namespace defaults_keys

class HotkeyManager : public ObservableObject {
public:
    // "HGHK", first character in the most significant byte.
    static constexpr std::uint32_t kSignature = ('H' << 24) | ('G' << 16) | ('H' << 8) | 'K';

    // The stored table, or the factory defaults when it is missing or cannot
    // be read. Writes nothing and registers nothing.
    HotkeyManager(DefaultsDomain& defaults, HotkeyRegistrar& registrar);

    // Super+Alt+B toggles the blur, Super+Alt+, opens the settings window.
    [[nodiscard]] static HotkeyAssignments factoryDefaults();

    void installHandler();
    [[nodiscard]] bool handlerInstalled() const { return m_handlerInstalled; }

    void registerAll();
    void unregisterAll();
    void registerAction(HotkeyAction action);
    void unregisterAction(HotkeyAction action);

    [[nodiscard]] std::optional<HotkeyCombo> combo(HotkeyAction action) const;
    // Gives `combo` to `action`, taking it from any other entry that has it.
    void assign(const HotkeyCombo& combo, HotkeyAction action);
    void clear(HotkeyAction action);
    void save();

    // Runs an action as if its shortcut had been pressed. Nothing happens once
    // the privacy controller is gone.
    void perform(HotkeyAction action);

    [[nodiscard]] const HotkeyAssignments& assignments() const { return m_assignments; }
    [[nodiscard]] const std::map<std::int64_t, HotkeyRef>& refs() const { return m_refs; }
    [[nodiscard]] bool isRegistered(HotkeyAction action) const { return m_refs.contains(rawValue(action)); }

    // Radii of the seven blur strengths, points.
    const std::array<double, 7> blurLevels;
    WeakPtr<PrivacyController> privacy;
    std::function<void()> openSettingsAction;

private:
    void loadAssignments();
    void handle(HotkeyID id);

    DefaultsDomain& m_defaults;
    HotkeyRegistrar& m_registrar;
    HotkeyAssignments m_assignments;
    std::map<std::int64_t, HotkeyRef> m_refs;
    bool m_handlerInstalled = false;
    WeakPtrFactory<HotkeyManager> m_weak{this};
};

} // namespace hg

// Recording a new global shortcut on the Shortcuts screen.
//
// While an action records, every shortcut is unregistered (so pressing an
// existing one does not fire it) and every key press goes to `keyDown`:
// Escape stops without change, Backspace clears the action's shortcut and
// stops, a combination with a modifier (or a function or navigation key) is
// assigned — taken from any other action that had it — and stops; a plain key
// shows the modifier hint and keeps recording.
//
// Owned by the Shortcuts screen's view; main thread only.
#pragma once

#include <optional>
#include <string>

#include "base/signal.h"
#include "ui/i18n/i18n.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {

// Virtual key codes the recorder treats specially.
inline constexpr std::uint32_t kEscapeKeyCode = 53;
inline constexpr std::uint32_t kDeleteKeyCode = 51;  // Backspace

class ShortcutRecorder : public ObservableObject {
public:
    ShortcutRecorder(HotkeyManager& hotkeys, const I18n& i18n) : m_hotkeys(hotkeys), m_i18n(i18n) {}
    // A recorder that is destroyed while recording registers the shortcuts again.
    ~ShortcutRecorder() override;

    // Stops any recording in progress and starts recording `action`.
    void start(HotkeyAction action);
    // Ends recording without change; does nothing when not recording.
    void stop();
    // True when the key press was taken (every press while recording is).
    bool keyDown(const KeyDownEvent& event);

    [[nodiscard]] std::optional<HotkeyAction> recordingAction() const { return m_recordingAction; }
    // The translated modifier hint after a plain key; nullopt otherwise.
    [[nodiscard]] const std::optional<std::string>& captureError() const { return m_captureError; }

private:
    void finish();

    HotkeyManager& m_hotkeys;
    const I18n& m_i18n;
    std::optional<HotkeyAction> m_recordingAction;
    std::optional<std::string> m_captureError;
};

} // namespace hg

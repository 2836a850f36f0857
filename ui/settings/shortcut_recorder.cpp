#include "ui/settings/shortcut_recorder.h"

#include "ui/settings/settings_screens_internal.h"

namespace hg {

ShortcutRecorder::~ShortcutRecorder()
{
    if (m_recordingAction)
        m_hotkeys.registerAll();
}

void ShortcutRecorder::start(HotkeyAction action)
{
    stop();
    objectWillChange.emit();
    m_recordingAction = action;
    m_captureError.reset();
    m_hotkeys.unregisterAll();
}

void ShortcutRecorder::stop()
{
    if (!m_recordingAction)
        return;
    finish();
}

void ShortcutRecorder::finish()
{
    objectWillChange.emit();
    m_hotkeys.registerAll();
    m_recordingAction.reset();
    m_captureError.reset();
}

bool ShortcutRecorder::keyDown(const KeyDownEvent& event)
{
    if (!m_recordingAction)
        return false;
    const HotkeyAction action = *m_recordingAction;
    if (event.keyCode == kEscapeKeyCode) {
        finish();
        return true;
    }
    if (event.keyCode == kDeleteKeyCode) {
        if (m_hotkeys.combo(action))
            m_hotkeys.clear(action);
        finish();
        return true;
    }
    if (const std::optional<HotkeyCombo> combo = HotkeyCombo::fromKeyDown(event)) {
        m_hotkeys.assign(*combo, action);
        finish();
        return true;
    }
    objectWillChange.emit();
    m_captureError = m_i18n.translate(screens::text::modifierHint);
    return true;
}

} // namespace hg

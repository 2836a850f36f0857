#include "platform/shortcuts/qt_key_events.h"

#include <QKeyEvent>

#include "platform/shortcuts/x11_hotkey_registrar.h"

namespace hg {

std::optional<KeyDownEvent> keyDownEvent(const QKeyEvent& event)
{
    // On X11 Qt reports the keysym as the native virtual key.
    const std::uint32_t keysym = event.nativeVirtualKey();
    const auto keyCode = X11HotkeyRegistrar::keyCodeForKeysym(keysym);
    if (!keyCode)
        return std::nullopt;
    KeyDownEvent down{*keyCode, 0, std::nullopt};
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (modifiers & Qt::MetaModifier)
        down.modifierFlags |= key_flags::command;
    if (modifiers & Qt::AltModifier)
        down.modifierFlags |= key_flags::option;
    if (modifiers & Qt::ControlModifier)
        down.modifierFlags |= key_flags::control;
    if (modifiers & Qt::ShiftModifier)
        down.modifierFlags |= key_flags::shift;
    // Printable keys type their unshifted character (the keysym of a printable
    // key is its Latin-1 code); the others type nothing.
    if (const auto printable = X11HotkeyRegistrar::keysymForKeyCode(*keyCode); printable && *printable >= 0x20
        && *printable < 0x7f && *printable != ' ')
        down.charactersIgnoringModifiers = std::string(1, static_cast<char>(*printable));
    return down;
}

} // namespace hg

#include "platform/settings_window/settings_key_events.h"

#include <map>

#include "platform/shortcuts/qt_key_events.h"
#include "platform/shortcuts/x11_hotkey_registrar.h"

namespace hg {
namespace {

// X keysym → virtual key code, inverted from the registrar's table.
const std::map<std::uint32_t, std::uint32_t>& keyCodesByKeysym()
{
    static const std::map<std::uint32_t, std::uint32_t> table = [] {
        std::map<std::uint32_t, std::uint32_t> out;
        for (std::uint32_t code = 0; code < 128; ++code)
            if (const auto keysym = X11HotkeyRegistrar::keysymForKeyCode(code))
                out.emplace(*keysym, code);
        return out;
    }();
    return table;
}

// The keysym of a Qt key, for platforms that give no native key (offscreen).
std::uint32_t keysymFromQtKey(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'a' + (key - Qt::Key_A);
    if (key >= 0x20 && key <= 0x7e)
        return static_cast<std::uint32_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F20)
        return 0xffbe + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape: return 0xff1b;
    case Qt::Key_Backspace: return 0xff08;
    case Qt::Key_Tab: return 0xff09;
    case Qt::Key_Return: return 0xff0d;
    case Qt::Key_Delete: return 0xffff;
    case Qt::Key_Home: return 0xff50;
    case Qt::Key_Left: return 0xff51;
    case Qt::Key_Up: return 0xff52;
    case Qt::Key_Right: return 0xff53;
    case Qt::Key_Down: return 0xff54;
    case Qt::Key_PageUp: return 0xff55;
    case Qt::Key_PageDown: return 0xff56;
    case Qt::Key_End: return 0xff57;
    default: return 0;
    }
}

std::uint32_t keysymOf(const QKeyEvent& event)
{
    std::uint32_t keysym = keysymFromQtKey(event.key());
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    return keysym;
}

} // namespace

WindowKeyPress windowKeyPress(const QKeyEvent& event)
{
    WindowKeyPress press;
    press.escape = event.key() == Qt::Key_Escape;
    press.control = event.modifiers() & Qt::ControlModifier;
    const int key = event.key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        press.charactersIgnoringModifiers = std::string(1, static_cast<char>('0' + key - Qt::Key_0));
    else if (key >= Qt::Key_A && key <= Qt::Key_Z)
        press.charactersIgnoringModifiers = std::string(1, static_cast<char>('a' + key - Qt::Key_A));
    return press;
}

std::optional<KeyDownEvent> recorderKeyDown(const QKeyEvent& event)
{
    // On X11 the native key is the keysym, which the shortcuts' own
    // conversion reads; without one (offscreen) the Qt key stands in.
    if (event.nativeVirtualKey() != 0)
        return keyDownEvent(event);
    const std::uint32_t keysym = keysymOf(event);
    const auto& table = keyCodesByKeysym();
    const auto code = table.find(keysym);
    if (code == table.end())
        return std::nullopt;
    KeyDownEvent down;
    down.keyCode = code->second;
    const Qt::KeyboardModifiers m = event.modifiers();
    if (m & Qt::ControlModifier)
        down.modifierFlags |= key_flags::control;
    if (m & Qt::AltModifier)
        down.modifierFlags |= key_flags::option;
    if (m & Qt::ShiftModifier)
        down.modifierFlags |= key_flags::shift;
    if (m & Qt::MetaModifier)
        down.modifierFlags |= key_flags::command;
    if (keysym >= 0x20 && keysym < 0x7f)
        down.charactersIgnoringModifiers = std::string(1, static_cast<char>(keysym));
    return down;
}

} // namespace hg

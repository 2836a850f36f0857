// Global shortcuts on X11: a passive key grab on the root window for each
// registered combination.
//
// A combination is stored with the virtual key codes and modifier mask the
// shortcut table uses; here the key becomes a keysym and then this keyboard's
// keycodes, command becomes Super (Mod4), option Alt (Mod1), control Control
// and shift Shift. Each combination is grabbed once for every combination of
// the lock modifiers (Caps Lock, Num Lock, Scroll Lock; the last two found in
// the modifier map), so that it fires whatever lock is on. A grab another
// client already holds fails with BadAccess: the registration is refused and
// nothing it grabbed stays grabbed. A change of the keyboard mapping re-reads
// the keycodes and lock bits and grabs everything again.
//
// Key presses arrive through Qt's native event filter in the program, or are
// handed to `handleEvent` by whoever reads the connection (tests). Key repeat
// does not fire a shortcut again. Owned by the application delegate; main
// thread only.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

#include "ui/shortcuts/hotkey_manager.h"

struct _XCBKeySymbols;

namespace hg {

class X11HotkeyRegistrar final : public HotkeyRegistrar, public QAbstractNativeEventFilter {
public:
    X11HotkeyRegistrar(xcb_connection_t* connection, xcb_window_t root);
    ~X11HotkeyRegistrar() override;

    // Installs the native event filter on the running application (false
    // without one); the handler hears presses either way through handleEvent.
    bool installHandler(std::function<void(HotkeyID)> handler) override;
    std::optional<HotkeyRef> registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, HotkeyID id) override;
    void unregisterHotkey(HotkeyRef ref) override;

    // Looks at one event of the connection: a grabbed key press runs the
    // handler; a keyboard mapping change grabs everything again.
    void handleEvent(const xcb_generic_event_t* event);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The keysym the shortcut table's virtual key code stands for; nullopt
    // for key codes this table does not know.
    [[nodiscard]] static std::optional<std::uint32_t> keysymForKeyCode(std::uint32_t keyCode);
    // The virtual key code of a keysym (letters in either case); nullopt for
    // keys the shortcut table does not know.
    [[nodiscard]] static std::optional<std::uint32_t> keyCodeForKeysym(std::uint32_t keysym);
    // Shift, Control, Mod1 (Alt) and Mod4 (Super) for the table's modifier mask.
    [[nodiscard]] static std::uint16_t x11Modifiers(std::uint32_t carbonModifiers);

private:
    struct Grab {
        std::uint32_t keyCode;  // virtual key code
        std::uint32_t carbonModifiers;
        HotkeyID id;
        std::vector<xcb_keycode_t> keycodes;  // grabbed now; empty when the grab failed after a remap
        std::uint16_t modifiers = 0;          // X11 modifier bits
    };

    void readLockModifiers();
    [[nodiscard]] std::vector<xcb_keycode_t> keycodesFor(std::uint32_t keysym) const;
    [[nodiscard]] std::vector<std::uint16_t> lockVariants() const;
    // Grabs every keycode in every lock variant; all or nothing.
    bool grab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t modifiers);
    void ungrab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t modifiers);
    void regrabAll();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    _XCBKeySymbols* m_symbols;
    std::uint16_t m_numLock = 0;
    std::uint16_t m_scrollLock = 0;
    std::map<HotkeyRef, Grab> m_grabs;
    HotkeyRef m_nextRef = 0;
    std::function<void(HotkeyID)> m_handler;
    bool m_filterInstalled = false;
    // The last key release, to recognise key repeat (a release and a press
    // with the same time stamp).
    xcb_keycode_t m_lastReleaseKey = 0;
    xcb_timestamp_t m_lastReleaseTime = 0;
};

} // namespace hg

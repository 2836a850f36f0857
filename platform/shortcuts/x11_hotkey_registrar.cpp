#include "platform/shortcuts/x11_hotkey_registrar.h"

#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>
#include <xcb/xcb_keysyms.h>

#include "platform/x11/x_reply.h"

namespace hg {
namespace {

struct KeyMapping {
    std::uint32_t keyCode;  // virtual key code of the shortcut table
    std::uint32_t keysym;
};

// The shortcut table's virtual key codes (the layout-independent numbering of
// a US keyboard) and the keysyms they stand for: letters, digits, punctuation,
// F1 to F12 and the editing and navigation keys.
constexpr KeyMapping kKeyMap[] = {
    {0, 'a'},       {1, 's'},       {2, 'd'},       {3, 'f'},       {4, 'h'},       {5, 'g'},
    {6, 'z'},       {7, 'x'},       {8, 'c'},       {9, 'v'},       {11, 'b'},      {12, 'q'},
    {13, 'w'},      {14, 'e'},      {15, 'r'},      {16, 'y'},      {17, 't'},      {18, '1'},
    {19, '2'},      {20, '3'},      {21, '4'},      {22, '6'},      {23, '5'},      {24, '='},
    {25, '9'},      {26, '7'},      {27, '-'},      {28, '8'},      {29, '0'},      {30, ']'},
    {31, 'o'},      {32, 'u'},      {33, '['},      {34, 'i'},      {35, 'p'},      {37, 'l'},
    {38, 'j'},      {39, '\''},     {40, 'k'},      {41, ';'},      {42, '\\'},     {43, ','},
    {44, '/'},      {45, 'n'},      {46, 'm'},      {47, '.'},      {50, '`'},      {49, ' '},
    {36, 0xff0d},   // Return
    {48, 0xff09},   // Tab
    {51, 0xff08},   // BackSpace
    {53, 0xff1b},   // Escape
    {114, 0xffff},  // Delete (forward)
    {117, 0xffff},  // Delete (forward)
    {115, 0xff50},  // Home
    {116, 0xff55},  // Prior (Page Up)
    {119, 0xff57},  // End
    {121, 0xff56},  // Next (Page Down)
    {123, 0xff51},  // Left
    {124, 0xff53},  // Right
    {125, 0xff54},  // Down
    {126, 0xff52},  // Up
    {122, 0xffbe},  {120, 0xffbf},  {99, 0xffc0},   {118, 0xffc1},  // F1 to F4
    {96, 0xffc2},   {97, 0xffc3},   {98, 0xffc4},   {100, 0xffc5},  // F5 to F8
    {101, 0xffc6},  {109, 0xffc7},  {103, 0xffc8},  {111, 0xffc9},  // F9 to F12
};

constexpr std::uint32_t kNumLockKeysym = 0xff7f;
constexpr std::uint32_t kScrollLockKeysym = 0xff14;
constexpr std::uint16_t kShortcutModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

X11HotkeyRegistrar::X11HotkeyRegistrar(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root), m_symbols(xcb_key_symbols_alloc(connection))
{
    readLockModifiers();
}

X11HotkeyRegistrar::~X11HotkeyRegistrar()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& [ref, g] : m_grabs)
        ungrab(g.keycodes, g.modifiers);
    xcb_flush(m_connection);
    xcb_key_symbols_free(m_symbols);
}

std::optional<std::uint32_t> X11HotkeyRegistrar::keysymForKeyCode(std::uint32_t keyCode)
{
    for (const KeyMapping& m : kKeyMap)
        if (m.keyCode == keyCode)
            return m.keysym;
    return std::nullopt;
}

std::optional<std::uint32_t> X11HotkeyRegistrar::keyCodeForKeysym(std::uint32_t keysym)
{
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const KeyMapping& m : kKeyMap)
        if (m.keysym == keysym)
            return m.keyCode;
    return std::nullopt;
}

std::uint16_t X11HotkeyRegistrar::x11Modifiers(std::uint32_t carbonModifiers)
{
    std::uint16_t modifiers = 0;
    if (carbonModifiers & carbon_modifiers::command)
        modifiers |= XCB_MOD_MASK_4;
    if (carbonModifiers & carbon_modifiers::option)
        modifiers |= XCB_MOD_MASK_1;
    if (carbonModifiers & carbon_modifiers::control)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (carbonModifiers & carbon_modifiers::shift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    return modifiers;
}

bool X11HotkeyRegistrar::installHandler(std::function<void(HotkeyID)> handler)
{
    m_handler = std::move(handler);
    if (!m_filterInstalled && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return m_filterInstalled;
}

void X11HotkeyRegistrar::readLockModifiers()
{
    m_numLock = 0;
    m_scrollLock = 0;
    x11::XReply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!map)
        return;
    const std::vector<xcb_keycode_t> numLock = keycodesFor(kNumLockKeysym);
    const std::vector<xcb_keycode_t> scrollLock = keycodesFor(kScrollLockKeysym);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    // Rows: Shift, Lock, Control, Mod1 … Mod5.
    for (int row = 0; row < 8; ++row) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[row * perModifier + i];
            if (code == 0)
                continue;
            if (std::ranges::find(numLock, code) != numLock.end())
                m_numLock = static_cast<std::uint16_t>(1u << row);
            if (std::ranges::find(scrollLock, code) != scrollLock.end())
                m_scrollLock = static_cast<std::uint16_t>(1u << row);
        }
    }
}

std::vector<xcb_keycode_t> X11HotkeyRegistrar::keycodesFor(std::uint32_t keysym) const
{
    std::vector<xcb_keycode_t> keycodes;
    if (xcb_keycode_t* list = xcb_key_symbols_get_keycode(m_symbols, keysym)) {
        for (xcb_keycode_t* k = list; *k != XCB_NO_SYMBOL; ++k)
            if (std::ranges::find(keycodes, *k) == keycodes.end())
                keycodes.push_back(*k);
        std::free(list);
    }
    return keycodes;
}

std::vector<std::uint16_t> X11HotkeyRegistrar::lockVariants() const
{
    std::vector<std::uint16_t> locks{0};
    for (std::uint16_t lock : {std::uint16_t(XCB_MOD_MASK_LOCK), m_numLock, m_scrollLock}) {
        if (lock == 0 || std::ranges::find(locks, lock) != locks.end())
            continue;
        const std::size_t n = locks.size();
        for (std::size_t i = 0; i < n; ++i)
            locks.push_back(locks[i] | lock);
    }
    return locks;
}

bool X11HotkeyRegistrar::grab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t modifiers)
{
    if (keycodes.empty())
        return false;
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t code : keycodes)
        for (std::uint16_t lock : lockVariants())
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, modifiers | lock, code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool granted = true;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            granted = false;  // BadAccess: another client holds the combination
            std::free(error);
        }
    }
    if (!granted)
        ungrab(keycodes, modifiers);
    xcb_flush(m_connection);
    return granted;
}

void X11HotkeyRegistrar::ungrab(const std::vector<xcb_keycode_t>& keycodes, std::uint16_t modifiers)
{
    // Ungrabbing a grab this client does not hold does nothing, so the
    // variants another client kept are safe.
    for (xcb_keycode_t code : keycodes)
        for (std::uint16_t lock : lockVariants())
            xcb_ungrab_key(m_connection, code, m_root, modifiers | lock);
}

std::optional<HotkeyRef> X11HotkeyRegistrar::registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                                            HotkeyID id)
{
    const auto keysym = keysymForKeyCode(keyCode);
    if (!keysym)
        return std::nullopt;
    Grab g{keyCode, carbonModifiers, id, keycodesFor(*keysym), x11Modifiers(carbonModifiers)};
    for (const auto& [ref, other] : m_grabs)
        if (other.modifiers == g.modifiers && other.keyCode == g.keyCode)
            return std::nullopt;  // this process holds it already
    if (!grab(g.keycodes, g.modifiers))
        return std::nullopt;
    m_grabs.emplace(++m_nextRef, std::move(g));
    return m_nextRef;
}

void X11HotkeyRegistrar::unregisterHotkey(HotkeyRef ref)
{
    const auto it = m_grabs.find(ref);
    if (it == m_grabs.end())
        return;
    ungrab(it->second.keycodes, it->second.modifiers);
    xcb_flush(m_connection);
    m_grabs.erase(it);
}

void X11HotkeyRegistrar::regrabAll()
{
    // Release with the old keycodes and lock bits, grab with the new ones.
    for (auto& [ref, g] : m_grabs)
        ungrab(g.keycodes, g.modifiers);
    readLockModifiers();
    for (auto& [ref, g] : m_grabs) {
        const auto keysym = keysymForKeyCode(g.keyCode);
        g.keycodes = keysym ? keycodesFor(*keysym) : std::vector<xcb_keycode_t>{};
        if (!grab(g.keycodes, g.modifiers))
            g.keycodes.clear();
    }
    xcb_flush(m_connection);
}

void X11HotkeyRegistrar::handleEvent(const xcb_generic_event_t* event)
{
    if (!event)
        return;
    switch (event->response_type & 0x7f) {
    case XCB_MAPPING_NOTIFY: {
        auto* notify = const_cast<xcb_mapping_notify_event_t*>(reinterpret_cast<const xcb_mapping_notify_event_t*>(event));
        if (notify->request == XCB_MAPPING_POINTER)
            return;
        xcb_refresh_keyboard_mapping(m_symbols, notify);
        regrabAll();
        return;
    }
    case XCB_KEY_RELEASE: {
        const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
        m_lastReleaseKey = release->detail;
        m_lastReleaseTime = release->time;
        return;
    }
    case XCB_KEY_PRESS: {
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (press->event != m_root)
            return;
        if (press->detail == m_lastReleaseKey && press->time == m_lastReleaseTime)
            return;  // key repeat
        const std::uint16_t state = press->state & kShortcutModifiers;
        for (const auto& [ref, g] : m_grabs) {
            if (g.modifiers != state || std::ranges::find(g.keycodes, press->detail) == g.keycodes.end())
                continue;
            if (m_handler)
                m_handler(g.id);
            return;
        }
        return;
    }
    default: return;
    }
}

bool X11HotkeyRegistrar::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType == "xcb_generic_event_t")
        handleEvent(static_cast<const xcb_generic_event_t*>(message));
    return false;
}

} // namespace hg

// The X11 key grabs on a private Xvfb: presses typed with xdotool reach the
// handler whatever lock is on, a combination another client holds is refused
// without disturbing that client, and a keyboard remapping grabs again.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include "platform/shortcuts/x11_hotkey_registrar.h"
#include "support/x_desktop.h"

namespace hg::testing {
namespace {

using namespace std::chrono_literals;
using namespace carbon_modifiers;

constexpr std::uint32_t kB = 11, kComma = 43, kF5 = 96;

class X11HotkeyRegistrarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XSession::available(false))
            GTEST_SKIP() << "Xvfb is not installed";
        desktop = std::make_unique<XDesktop>(XSessionOptions{.width = 640, .height = 480, .windowManager = false});
        ASSERT_TRUE(desktop->ok()) << desktop->error();
        c = desktop->connection();
        root = desktop->root();
        registrar = std::make_unique<X11HotkeyRegistrar>(c, root);
        registrar->installHandler([this](HotkeyID id) { heard.push_back(id.id); });
    }
    void TearDown() override
    {
        registrar.reset();
    }

    // Types `keys` with xdotool, then hands the events that arrived to the registrar.
    void type(const std::string& keys)
    {
        ASSERT_EQ(desktop->session().run({"xdotool", "key", keys}), 0);
        pump();
    }
    void pump()
    {
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // a round trip
        std::this_thread::sleep_for(50ms);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            registrar->handleEvent(event);
            std::free(event);
        }
    }

    std::unique_ptr<XDesktop> desktop;
    xcb_connection_t* c = nullptr;  // the desktop's
    xcb_window_t root = XCB_NONE;
    std::unique_ptr<X11HotkeyRegistrar> registrar;
    std::vector<std::uint32_t> heard;
};

TEST_F(X11HotkeyRegistrarTest, GrabbedCombinationsFireWithAnyLockOnAndStopWhenUnregistered)
{
    const auto toggle = registrar->registerHotkey(kB, command | option, {HotkeyManager::kSignature, 0});
    const auto f5 = registrar->registerHotkey(kF5, control | shift, {HotkeyManager::kSignature, 4});
    ASSERT_TRUE(toggle && f5);

    type("super+alt+b");
    type("ctrl+shift+F5");
    type("alt+b");  // not the combination
    EXPECT_EQ(heard, (std::vector<std::uint32_t>{0, 4}));

    type("Num_Lock");
    type("super+alt+b");
    type("Caps_Lock");
    type("super+alt+b");
    type("Num_Lock");
    type("Caps_Lock");
    EXPECT_EQ(heard, (std::vector<std::uint32_t>{0, 4, 0, 0}));

    // Holding the keys fires once, however often the key repeats.
    ASSERT_EQ(desktop->session().run({"xdotool", "keydown", "super+alt+b", "sleep", "1.2", "keyup", "super+alt+b"}), 0);
    pump();
    EXPECT_EQ(heard.size(), 5u);

    registrar->unregisterHotkey(*toggle);
    type("super+alt+b");
    EXPECT_EQ(heard.size(), 5u);
    // Unknown key codes are refused.
    EXPECT_FALSE(registrar->registerHotkey(200, command, {HotkeyManager::kSignature, 2}));
}

TEST_F(X11HotkeyRegistrarTest, ACombinationAnotherClientHoldsIsRefusedAndStaysTheirs)
{
    xcb_connection_t* other = xcb_connect(desktop->session().display().c_str(), nullptr);
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 'b');
    ASSERT_TRUE(codes);
    const xcb_keycode_t b = codes[0];
    std::free(codes);
    xcb_key_symbols_free(symbols);
    xcb_grab_key(other, 0, root, XCB_MOD_MASK_4 | XCB_MOD_MASK_1, b, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

    EXPECT_FALSE(registrar->registerHotkey(kB, command | option, {HotkeyManager::kSignature, 0}));
    ASSERT_TRUE(registrar->registerHotkey(kComma, command | option, {HotkeyManager::kSignature, 1}));
    type("super+alt+b");
    type("super+alt+comma");
    EXPECT_EQ(heard, std::vector<std::uint32_t>{1});

    // The other client still has its grab.
    xcb_generic_event_t* event = nullptr;
    ASSERT_EQ(desktop->session().run({"xdotool", "key", "super+alt+b"}), 0);
    for (int i = 0; i < 50 && !event; ++i) {
        std::this_thread::sleep_for(20ms);
        while ((event = xcb_poll_for_event(other)) && (event->response_type & 0x7f) != XCB_KEY_PRESS)
            std::free(event);
    }
    EXPECT_TRUE(event);
    std::free(event);
    xcb_disconnect(other);
}

TEST_F(X11HotkeyRegistrarTest, ARemappedKeyboardIsGrabbedAgain)
{
    ASSERT_TRUE(registrar->registerHotkey(kB, command | option, {HotkeyManager::kSignature, 0}));
    // B moves to another key; the old key types x.
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 'b');
    ASSERT_TRUE(codes);
    const std::string oldKey = std::to_string(codes[0]);
    std::free(codes);
    xcb_key_symbols_free(symbols);
    ASSERT_EQ(desktop->session().run({"xmodmap", "-e", "keycode " + oldKey + " = x X", "-e", "keycode 200 = b B"}), 0);
    pump();
    type("super+alt+b");
    EXPECT_EQ(heard, std::vector<std::uint32_t>{0});
    type("super+alt+x");
    EXPECT_EQ(heard, std::vector<std::uint32_t>{0});
}

} // namespace
} // namespace hg::testing

// Reading window properties (EWMH, ICCCM and toolkit ones) without a round
// trip each: `requestProperty` sends the request and the decoders read the
// reply once it has been taken.
//
//     PropertyReply pid = requestProperty(c, window, atoms["_NET_WM_PID"], XCB_ATOM_CARDINAL);
//     ... more requests ...
//     std::optional<std::uint32_t> value = firstValue(pid.take().get());
//
// The decoders accept nullptr (the window had gone, or the property is
// missing) and then give an empty answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/x_reply.h"

namespace hg::x11 {

using PropertyReply = PendingReply<xcb_get_property_cookie_t, xcb_get_property_reply_t>;

// Longest value read, in 32-bit units: 64 KiB, far beyond any list of windows,
// states or a class name that matters here.
inline constexpr std::uint32_t kPropertyLengthLimit = 16384;

// Asks for a property of any type unless `type` is given.
[[nodiscard]] PropertyReply requestProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                            xcb_atom_t type = XCB_GET_PROPERTY_TYPE_ANY,
                                            std::uint32_t lengthLimit = kPropertyLengthLimit);

// True when the property exists on the window (of whatever type).
[[nodiscard]] bool propertyExists(const xcb_get_property_reply_t* reply);
// The 32-bit items of a format-32 property (CARDINAL, WINDOW, ATOM lists).
[[nodiscard]] std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* reply);
// The first 32-bit item, if any.
[[nodiscard]] std::optional<std::uint32_t> firstValue(const xcb_get_property_reply_t* reply);
// The bytes of a format-8 property (STRING, UTF8_STRING) up to the first NUL;
// nullopt when missing or empty.
[[nodiscard]] std::optional<std::string> text(const xcb_get_property_reply_t* reply);

// WM_CLASS: two NUL-terminated strings, instance then class.
struct WmClass {
    std::string instance;
    std::string className;

    friend bool operator==(const WmClass&, const WmClass&) = default;
};
[[nodiscard]] std::optional<WmClass> wmClass(const xcb_get_property_reply_t* reply);

} // namespace hg::x11

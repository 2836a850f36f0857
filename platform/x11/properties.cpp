#include "platform/x11/properties.h"

#include <cstring>

namespace hg::x11 {

PropertyReply requestProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                              xcb_atom_t type, std::uint32_t lengthLimit)
{
    return PropertyReply(connection, xcb_get_property(connection, 0, window, property, type, 0, lengthLimit),
                         xcb_get_property_reply);
}

bool propertyExists(const xcb_get_property_reply_t* reply)
{
    return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* reply)
{
    if (!propertyExists(reply) || reply->format != 32)
        return {};
    auto* reply_ = const_cast<xcb_get_property_reply_t*>(reply);
    const int length = xcb_get_property_value_length(reply_) / 4;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply_));
    return std::vector<std::uint32_t>(data, data + length);
}

std::optional<std::uint32_t> firstValue(const xcb_get_property_reply_t* reply)
{
    if (!propertyExists(reply) || reply->format != 32)
        return std::nullopt;
    auto* reply_ = const_cast<xcb_get_property_reply_t*>(reply);
    if (xcb_get_property_value_length(reply_) < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply_), sizeof value);
    return value;
}

std::optional<std::string> text(const xcb_get_property_reply_t* reply)
{
    if (!propertyExists(reply) || reply->format != 8)
        return std::nullopt;
    auto* reply_ = const_cast<xcb_get_property_reply_t*>(reply);
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply_));
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply_));
    std::string value(data, strnlen(data, length));
    if (value.empty())
        return std::nullopt;
    return value;
}

std::optional<WmClass> wmClass(const xcb_get_property_reply_t* reply)
{
    if (!propertyExists(reply) || reply->format != 8)
        return std::nullopt;
    auto* reply_ = const_cast<xcb_get_property_reply_t*>(reply);
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply_));
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply_));
    WmClass result;
    const std::size_t instanceLength = strnlen(data, length);
    result.instance.assign(data, instanceLength);
    if (instanceLength + 1 < length) {
        const char* cls = data + instanceLength + 1;
        result.className.assign(cls, strnlen(cls, length - instanceLength - 1));
    }
    return result;
}

} // namespace hg::x11

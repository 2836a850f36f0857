#include "base/defaults.h"

namespace hg {

std::optional<double> DefaultsDomain::doubleValue(std::string_view key) const
{
    const auto value = object(key);
    if (!value)
        return std::nullopt;
    if (const auto* d = std::get_if<double>(&*value))
        return *d;
    if (const auto* b = std::get_if<bool>(&*value))
        return *b ? 1.0 : 0.0;
    return std::nullopt;
}

std::optional<bool> DefaultsDomain::boolValue(std::string_view key) const
{
    const auto value = object(key);
    if (!value)
        return std::nullopt;
    if (const auto* b = std::get_if<bool>(&*value))
        return *b;
    if (const auto* d = std::get_if<double>(&*value))
        return *d != 0;
    return std::nullopt;
}

std::optional<std::string> DefaultsDomain::stringValue(std::string_view key) const
{
    const auto value = object(key);
    if (const auto* s = value ? std::get_if<std::string>(&*value) : nullptr)
        return *s;
    return std::nullopt;
}

std::optional<std::vector<std::string>> DefaultsDomain::stringArray(std::string_view key) const
{
    const auto value = object(key);
    if (const auto* a = value ? std::get_if<std::vector<std::string>>(&*value) : nullptr)
        return *a;
    return std::nullopt;
}

std::optional<Bytes> DefaultsDomain::data(std::string_view key) const
{
    const auto value = object(key);
    if (const auto* b = value ? std::get_if<Bytes>(&*value) : nullptr)
        return *b;
    return std::nullopt;
}

std::optional<DefaultsValue> InMemoryDefaults::object(std::string_view key) const
{
    const auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

bool InMemoryDefaults::hasObject(std::string_view key) const
{
    return m_values.find(key) != m_values.end();
}

void InMemoryDefaults::setObject(std::string_view key, DefaultsValue value)
{
    ++m_writes;
    m_values.insert_or_assign(std::string(key), std::move(value));
}

void InMemoryDefaults::removeObject(std::string_view key)
{
    ++m_writes;
    if (const auto it = m_values.find(key); it != m_values.end())
        m_values.erase(it);
}

} // namespace hg

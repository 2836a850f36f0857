// The user defaults domain: the program's persisted key-value store.
//
// Values are typed: numbers (doubles), Booleans, strings, arrays of strings and
// data (bytes). The typed readers answer nullopt for a missing key and for a
// value of another type, so a wrongly typed entry reads like a missing one;
// the one conversion allowed is between numbers and Booleans (a number reads as
// true when it is not zero, a Boolean as 1 or 0), as the defaults system has
// always done. Writes reach the backing store at once.
//
// Main thread only. `InMemoryDefaults` is the test domain; the JSON file of
// the desktop session lives in platform/.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hg {

using Bytes = std::vector<std::uint8_t>;
using DefaultsValue = std::variant<double, bool, std::string, std::vector<std::string>, Bytes>;

class DefaultsDomain {
public:
    virtual ~DefaultsDomain() = default;

    // The value stored under `key`, of whatever type; nullopt when none is, or
    // when the stored value has a type the domain does not know.
    [[nodiscard]] virtual std::optional<DefaultsValue> object(std::string_view key) const = 0;
    // True when anything at all is stored under `key`, even of an unknown type.
    [[nodiscard]] virtual bool hasObject(std::string_view key) const = 0;
    virtual void setObject(std::string_view key, DefaultsValue value) = 0;
    virtual void removeObject(std::string_view key) = 0;

    [[nodiscard]] std::optional<double> doubleValue(std::string_view key) const;
    [[nodiscard]] std::optional<bool> boolValue(std::string_view key) const;
    [[nodiscard]] std::optional<std::string> stringValue(std::string_view key) const;
    [[nodiscard]] std::optional<std::vector<std::string>> stringArray(std::string_view key) const;
    [[nodiscard]] std::optional<Bytes> data(std::string_view key) const;

    void setDouble(std::string_view key, double value) { setObject(key, value); }
    void setBool(std::string_view key, bool value) { setObject(key, value); }
    void setString(std::string_view key, std::string value) { setObject(key, std::move(value)); }
    void setStringArray(std::string_view key, std::vector<std::string> value) { setObject(key, std::move(value)); }
    void setData(std::string_view key, Bytes value) { setObject(key, std::move(value)); }
};

class InMemoryDefaults final : public DefaultsDomain {
public:
    std::optional<DefaultsValue> object(std::string_view key) const override;
    bool hasObject(std::string_view key) const override;
    void setObject(std::string_view key, DefaultsValue value) override;
    void removeObject(std::string_view key) override;

    // Counts every setObject/removeObject, so tests can tell "not written".
    [[nodiscard]] int writeCount() const { return m_writes; }

private:
    std::map<std::string, DefaultsValue, std::less<>> m_values;
    int m_writes = 0;
};

} // namespace hg

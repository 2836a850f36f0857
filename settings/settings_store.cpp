#include "settings/settings_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace hg {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text, bool (*strip)(char))
{
    while (!text.empty() && strip(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && strip(text.back()))
        text.remove_suffix(1);
    return text;
}

// Every character a hexadecimal digit; nullopt otherwise.
std::optional<std::uint32_t> parseHex(std::string_view digits)
{
    std::uint32_t value = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const int nibble = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
        value = value << 4 | static_cast<std::uint32_t>(nibble);
    }
    return value;
}

int toByte(double component)
{
    return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255.0));
}

void write(DefaultsDomain& d, std::string_view key, double v) { d.setDouble(key, v); }
void write(DefaultsDomain& d, std::string_view key, bool v) { d.setBool(key, v); }

} // namespace

ExcludedApps::ExcludedApps(const std::vector<std::string>& entries)
{
    for (const auto& e : entries)
        insert(e);
}

ExcludedApps::ExcludedApps(std::initializer_list<std::string_view> entries)
{
    for (auto e : entries)
        insert(e);
}

std::string ExcludedApps::normalize(std::string_view bundleID)
{
    std::string result(trimmed(bundleID, isBlank));
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool ExcludedApps::contains(std::string_view bundleID) const
{
    const std::string id = normalize(bundleID);
    return !id.empty() && m_bundleIDs.count(id) > 0;
}

bool ExcludedApps::insert(std::string_view bundleID)
{
    std::string id = normalize(bundleID);
    return !id.empty() && m_bundleIDs.insert(std::move(id)).second;
}

bool ExcludedApps::erase(std::string_view bundleID)
{
    const std::string id = normalize(bundleID);
    return !id.empty() && m_bundleIDs.erase(id) > 0;
}

SettingsStore::SettingsStore(DefaultsDomain& defaults) : m_defaults(defaults) {}

void SettingsStore::load()
{
    namespace k = defaults_keys;
    if (auto v = m_defaults.doubleValue(k::blurRadius))
        blurRadius = clampBlurRadius(*v);
    if (auto v = m_defaults.boolValue(k::blurEnabled))
        blurEnabled = *v;
    if (auto v = m_defaults.boolValue(k::pauseFullScreen))
        pauseForFullScreenApps = *v;
    if (auto v = m_defaults.boolValue(k::revealCursor))
        revealCursor = *v;
    if (auto v = m_defaults.doubleValue(k::cursorRevealRadius))
        cursorRevealRadius = clampCursorRevealRadius(*v);
    if (auto v = m_defaults.stringValue(k::blurTintColor))
        blurTintColor = textToTintColor(*v);
    if (auto v = m_defaults.doubleValue(k::blurTintAmount))
        blurTintAmount = clampTintAmount(*v);
    if (auto v = m_defaults.stringArray(k::excludedApps))
        excludedApps = ExcludedApps(*v);
    if (auto v = m_defaults.boolValue(k::blurExcludedFromCapture))
        blurExcludedFromCapture = *v;
    if (auto v = m_defaults.stringArray(k::excludedDisplayIDs))
        excludedDisplayIDs = std::set<std::string>(v->begin(), v->end());
    // No existence test here: a missing "enabled" leaves the effect off.
    effectEnabled = m_defaults.boolValue(k::enabled).value_or(false);
}

template <typename T>
bool SettingsStore::change(T& field, T value, std::string_view key, const Announce& announce)
{
    if (field == value)
        return false;
    if (announce)
        announce();
    field = value;
    write(m_defaults, key, value);
    return true;
}

bool SettingsStore::changeBlurRadius(double value, const Announce& announce)
{
    return change(blurRadius, clampBlurRadius(value), defaults_keys::blurRadius, announce);
}

bool SettingsStore::changeBlurEnabled(bool value, const Announce& announce)
{
    return change(blurEnabled, value, defaults_keys::blurEnabled, announce);
}

bool SettingsStore::changePauseForFullScreenApps(bool value, const Announce& announce)
{
    return change(pauseForFullScreenApps, value, defaults_keys::pauseFullScreen, announce);
}

bool SettingsStore::changeRevealCursor(bool value, const Announce& announce)
{
    return change(revealCursor, value, defaults_keys::revealCursor, announce);
}

bool SettingsStore::changeCursorRevealRadius(double value, const Announce& announce)
{
    return change(cursorRevealRadius, clampCursorRevealRadius(value), defaults_keys::cursorRevealRadius, announce);
}

void SettingsStore::changeBlurTintColor(Color value, const Announce& announce)
{
    if (announce)
        announce();
    blurTintColor = value;
    m_defaults.setString(defaults_keys::blurTintColor, tintColorToText(value));
}

bool SettingsStore::changeBlurTintAmount(double value, const Announce& announce)
{
    return change(blurTintAmount, clampTintAmount(value), defaults_keys::blurTintAmount, announce);
}

bool SettingsStore::changeBlurExcludedFromCapture(bool value, const Announce& announce)
{
    return change(blurExcludedFromCapture, value, defaults_keys::blurExcludedFromCapture, announce);
}

bool SettingsStore::changeEffectEnabled(bool value, const Announce& announce)
{
    return change(effectEnabled, value, defaults_keys::enabled, announce);
}

void SettingsStore::addExcludedApp(std::string_view bundleID)
{
    if (ExcludedApps::normalize(bundleID).empty())
        return;
    excludedApps.insert(bundleID);
    persistExcludedApps();
}

void SettingsStore::removeExcludedApp(std::string_view bundleID)
{
    if (ExcludedApps::normalize(bundleID).empty())
        return;
    excludedApps.erase(bundleID);
    persistExcludedApps();
}

void SettingsStore::setDisplayExcluded(const std::string& displayID, bool excluded)
{
    if (excluded)
        excludedDisplayIDs.insert(displayID);
    else
        excludedDisplayIDs.erase(displayID);
    persistExcludedDisplays();
}

void SettingsStore::persistExcludedApps()
{
    const auto& ids = excludedApps.bundleIDs();
    m_defaults.setStringArray(defaults_keys::excludedApps, std::vector<std::string>(ids.begin(), ids.end()));
}

void SettingsStore::persistExcludedDisplays()
{
    // std::set iterates in plain string order: "10" before "2".
    m_defaults.setStringArray(defaults_keys::excludedDisplayIDs,
                              std::vector<std::string>(excludedDisplayIDs.begin(), excludedDisplayIDs.end()));
}

double SettingsStore::clampBlurRadius(double points)
{
    return std::isnan(points) ? 20.0 : std::clamp(points, 5.0, 60.0);
}

double SettingsStore::clampCursorRevealRadius(double points)
{
    return std::isnan(points) ? 120.0 : std::clamp(points, 20.0, 400.0);
}

double SettingsStore::clampTintAmount(double amount)
{
    return std::isnan(amount) ? 0.0 : std::clamp(amount, 0.0, 1.0);
}

std::string SettingsStore::tintColorToText(Color color)
{
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", toByte(color.red), toByte(color.green), toByte(color.blue),
                  toByte(color.alpha));
    return text;
}

Color SettingsStore::textToTintColor(std::string_view text)
{
    const std::string_view digits = trimmed(trimmed(text, isBlank), [](char c) { return c == '#'; });
    const auto value = parseHex(digits);
    if (value && digits.size() == 8)
        return {(*value >> 24 & 0xFF) / 255.0, (*value >> 16 & 0xFF) / 255.0, (*value >> 8 & 0xFF) / 255.0,
                (*value & 0xFF) / 255.0};
    if (value && digits.size() == 6)
        return {(*value >> 16 & 0xFF) / 255.0, (*value >> 8 & 0xFF) / 255.0, (*value & 0xFF) / 255.0, 1.0};
    return Color::white();
}

} // namespace hg

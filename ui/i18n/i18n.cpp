#include "ui/i18n/i18n.h"

#include <unordered_map>

#include "ui/i18n/translation_table.h"

namespace hg {

std::string_view rawValue(AppLanguage language)
{
    switch (language) {
    case AppLanguage::system: return "system";
    case AppLanguage::zhHans: return "zhHans";
    case AppLanguage::en: return "en";
    }
    return "system";
}

std::optional<AppLanguage> appLanguageFromRaw(std::string_view raw)
{
    for (AppLanguage l : kAppLanguages)
        if (rawValue(l) == raw)
            return l;
    return std::nullopt;
}

I18n::I18n(DefaultsDomain& defaults, NotificationCenter& center, const PreferredLanguages& preferred)
    : m_defaults(defaults),
      m_center(center),
      m_preferred(preferred),
      m_language(*this, appLanguageFromRaw(defaults.stringValue(defaults_keys::appLang).value_or(""))
                            .value_or(AppLanguage::system))
{
    writeAppleLanguages();
    // The centre belongs to the application and outlives this object; the
    // observer is removed in the destructor, so `this` is never stale.
    m_localeObserver = m_center.addObserver(std::string(kCurrentLocaleDidChangeNotification), [this] {
        if (m_language.get() == AppLanguage::system)
            m_center.post(kLanguageDidChangeNotification);
    });
}

I18n::~I18n()
{
    m_center.removeObserver(m_localeObserver);
}

void I18n::setLanguage(AppLanguage language)
{
    m_language.set(language);
    m_defaults.setString(defaults_keys::appLang, std::string(rawValue(language)));
    writeAppleLanguages();
    m_center.post(kLanguageDidChangeNotification);
}

void I18n::writeAppleLanguages()
{
    switch (m_language.get()) {
    case AppLanguage::zhHans: m_defaults.setStringArray(defaults_keys::appleLanguages, {"zh-Hans"}); return;
    case AppLanguage::en: m_defaults.setStringArray(defaults_keys::appleLanguages, {"en"}); return;
    case AppLanguage::system: m_defaults.removeObject(defaults_keys::appleLanguages); return;
    }
}

AppLanguage I18n::resolve(AppLanguage choice, const std::vector<std::string>& preferred)
{
    if (choice != AppLanguage::system)
        return choice;
    for (const std::string& tag : preferred) {
        if (tag.starts_with("zh"))
            return AppLanguage::zhHans;
        if (tag.starts_with("en"))
            return AppLanguage::en;
    }
    return AppLanguage::zhHans;
}

AppLanguage I18n::effectiveLanguage() const
{
    if (m_language.get() != AppLanguage::system)
        return m_language.get();
    return resolve(AppLanguage::system, m_preferred.preferredLanguages());
}

std::optional<std::string_view> I18n::english(std::string_view chinese)
{
    // Built once, on first use; lookups happen on every redraw.
    static const std::unordered_map<std::string_view, std::string_view> table = [] {
        std::unordered_map<std::string_view, std::string_view> map;
        for (const TranslationRow& row : translationTable())
            map.emplace(row.chinese, row.english);
        return map;
    }();
    const auto it = table.find(chinese);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

std::string I18n::translate(std::string_view chinese) const
{
    if (effectiveLanguage() == AppLanguage::zhHans)
        return std::string(chinese);
    return std::string(english(chinese).value_or(chinese));
}

std::string I18n::translate(std::string_view chinese, const std::vector<std::string>& arguments) const
{
    return formatText(translate(chinese), arguments);
}

std::string I18n::displayName(AppLanguage language) const
{
    switch (language) {
    case AppLanguage::system: return translate("跟随系统");
    case AppLanguage::zhHans: return "简体中文";
    case AppLanguage::en: return "English";
    }
    return translate("跟随系统");
}

std::string formatText(std::string_view pattern, const std::vector<std::string>& arguments)
{
    std::string out;
    out.reserve(pattern.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((c == '@' || c == 'd') && next < arguments.size()) {
                out += arguments[next++];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

} // namespace hg

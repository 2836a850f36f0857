// The interface language: Simplified Chinese or English.
//
// Every visible text is named in code by its Chinese wording and passed
// through `translate`, which answers it in the effective language: the user's
// choice, or, when the choice is to follow the system, the first Chinese or
// English entry of the preferred languages (Chinese when there is neither).
//
// The application creates one `I18n` and hands it to whatever shows text.
// Choosing a language writes "app.lang" and "AppleLanguages" and posts
// "I18n.languageDidChange" on the notification centre; so does a change of the
// system locale while the choice follows the system. Main thread only.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/defaults.h"
#include "base/notification_center.h"
#include "base/signal.h"

namespace hg {

enum class AppLanguage { system, zhHans, en };

inline constexpr std::array kAppLanguages{AppLanguage::system, AppLanguage::zhHans, AppLanguage::en};

[[nodiscard]] std::string_view rawValue(AppLanguage language);
// Exact match of the raw value; nullopt for anything else.
[[nodiscard]] std::optional<AppLanguage> appLanguageFromRaw(std::string_view raw);

// The system's preferred languages, most preferred first ("de-DE", "zh-Hans-CN", …).
class PreferredLanguages {
public:
    virtual ~PreferredLanguages() = default;
    [[nodiscard]] virtual std::vector<std::string> preferredLanguages() const = 0;
};

// Names of the notifications this module posts and hears.
inline constexpr std::string_view kLanguageDidChangeNotification = "I18n.languageDidChange";
// Posted by the platform when the system's locale or preferred languages change.
inline constexpr std::string_view kCurrentLocaleDidChangeNotification = "Hushglass.currentLocaleDidChange";

namespace defaults_keys {
inline constexpr std::string_view appLang = "app.lang";
inline constexpr std::string_view appleLanguages = "AppleLanguages";
} // namespace defaults_keys

class I18n : public ObservableObject {
public:
    // Reads the stored choice, brings "AppleLanguages" into line with it (no
    // notification) and starts observing locale changes.
    I18n(DefaultsDomain& defaults, NotificationCenter& center, const PreferredLanguages& preferred);
    ~I18n() override;

    [[nodiscard]] AppLanguage language() const { return m_language; }
    // Announces, assigns, then writes both keys and posts the notification.
    void setLanguage(AppLanguage language);
    Signal<const AppLanguage&>& languageChanged() { return m_language.changed; }

    // zhHans or en, never system. Read anew at every call.
    [[nodiscard]] AppLanguage effectiveLanguage() const;
    // The text in the effective language; a text without English wording is
    // returned as it is.
    [[nodiscard]] std::string translate(std::string_view chinese) const;
    // Translates `chinese`, then formats `arguments` into its "%@" and "%d"
    // placeholders, in order.
    [[nodiscard]] std::string translate(std::string_view chinese, const std::vector<std::string>& arguments) const;

    // The language picker's name of a language, already translated.
    [[nodiscard]] std::string displayName(AppLanguage language) const;

    // The effective language for a given choice and preferred languages.
    [[nodiscard]] static AppLanguage resolve(AppLanguage choice, const std::vector<std::string>& preferred);
    // The English wording of `chinese`, if the table has one.
    [[nodiscard]] static std::optional<std::string_view> english(std::string_view chinese);

private:
    void writeAppleLanguages();

    DefaultsDomain& m_defaults;
    NotificationCenter& m_center;
    const PreferredLanguages& m_preferred;
    Published<AppLanguage> m_language;
    NotificationToken m_localeObserver;
};

// Replaces "%@" and "%d" in `pattern` by `arguments`, in order. Placeholders
// beyond the arguments stay as they are; "%%" is a literal "%".
[[nodiscard]] std::string formatText(std::string_view pattern, const std::vector<std::string>& arguments);

} // namespace hg

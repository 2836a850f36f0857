// An interface language fixed to one language, for tests that read texts.
#pragma once

#include <string>
#include <vector>

#include "ui/i18n/i18n.h"

namespace hg::testing {

class FixedLanguages final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en-US"}; }
};

struct TestI18n {
    explicit TestI18n(AppLanguage language = AppLanguage::en) { i18n.setLanguage(language); }
    InMemoryDefaults defaults;
    NotificationCenter center;
    FixedLanguages preferred;
    I18n i18n{defaults, center, preferred};
};

} // namespace hg::testing

// "3 hours ago", "昨天": a past moment as a short phrase in the interface
// language, as the About screen shows the last update check.
//
// Plain function; no thread rules.
#pragma once

#include <string>

#include "ui/i18n/i18n.h"

namespace hg {

// `date` and `now` in seconds since the reference date. A date in the future
// (the clock was set back) reads as "just now".
[[nodiscard]] std::string relativeDateText(double date, double now, AppLanguage language);

} // namespace hg

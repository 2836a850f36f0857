#include "ui/settings/relative_date.h"

#include <cmath>

namespace hg {
namespace {

std::string amount(long long n, const char* zhUnit, const char* enOne, const char* enMany, AppLanguage language)
{
    if (language == AppLanguage::zhHans)
        return std::to_string(n) + zhUnit + "前";
    return std::to_string(n) + " " + (n == 1 ? enOne : enMany) + " ago";
}

} // namespace

std::string relativeDateText(double date, double now, AppLanguage language)
{
    const bool zh = language == AppLanguage::zhHans;
    const double seconds = now - date;
    if (!std::isfinite(seconds) || seconds < 60)
        return zh ? "刚刚" : "just now";
    const auto minutes = static_cast<long long>(seconds / 60);
    if (minutes < 60)
        return amount(minutes, "分钟", "minute", "minutes", language);
    const long long hours = minutes / 60;
    if (hours < 24)
        return amount(hours, "小时", "hour", "hours", language);
    const long long days = hours / 24;
    if (days == 1)
        return zh ? "昨天" : "yesterday";
    if (days < 7)
        return amount(days, "天", "day", "days", language);
    if (days < 30)
        return amount(days / 7, "周", "week", "weeks", language);
    if (days < 365)
        return amount(days / 30, "个月", "month", "months", language);
    return amount(days / 365, "年", "year", "years", language);
}

} // namespace hg

#include "system/version_compare.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace hg {
namespace {

struct Part {
    bool isNumber;
    std::string text;  // digits without leading zeros, or a lower-cased label
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::vector<Part> partsOf(std::string_view version)
{
    std::vector<Part> parts;
    std::size_t i = 0;
    while (i < version.size()) {
        const char c = version[i];
        if (!isDigit(c) && !isLetter(c)) {
            ++i;
            continue;
        }
        const bool number = isDigit(c);
        std::string text;
        for (; i < version.size() && (number ? isDigit(version[i]) : isLetter(version[i])); ++i)
            text += number ? version[i] : static_cast<char>(std::tolower(static_cast<unsigned char>(version[i])));
        if (number) {
            const std::size_t firstNonZero = text.find_first_not_of('0');
            text = firstNonZero == std::string::npos ? "" : text.substr(firstNonZero);
        }
        parts.push_back({number, std::move(text)});
    }
    return parts;
}

int sign(int value) { return (value > 0) - (value < 0); }

int compareNumbers(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return sign(a.compare(b));
}

// A missing part against a present one: as a 0 against a number, as a final
// release against a label.
int compareParts(const std::optional<Part>& a, const std::optional<Part>& b)
{
    if (!a && !b)
        return 0;
    if (!a)
        return -compareParts(b, a);
    if (!b)
        return a->isNumber ? (a->text.empty() ? 0 : 1) : -1;
    if (a->isNumber != b->isNumber)
        return a->isNumber ? 1 : -1;
    return a->isNumber ? compareNumbers(a->text, b->text) : sign(a->text.compare(b->text));
}

} // namespace

int compareVersions(std::string_view a, std::string_view b)
{
    const std::vector<Part> left = partsOf(a);
    const std::vector<Part> right = partsOf(b);
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const std::optional<Part> l = i < left.size() ? std::optional(left[i]) : std::nullopt;
        const std::optional<Part> r = i < right.size() ? std::optional(right[i]) : std::nullopt;
        if (const int order = compareParts(l, r))
            return order;
    }
    return 0;
}

} // namespace hg

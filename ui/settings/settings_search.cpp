#include "ui/settings/settings_search.h"

#include <charconv>
#include <utility>
#include <vector>

namespace hg {
namespace {

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Splits at ASCII white space and at the ideographic space U+3000, which a
// Chinese input method types between words.
std::vector<std::string> pieces(const std::string& query)
{
    static constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
    std::vector<std::string> out;
    std::string current;
    for (std::size_t i = 0; i < query.size();) {
        if (isSpace(query[i]) || query.compare(i, kIdeographicSpace.size(), kIdeographicSpace) == 0) {
            if (!current.empty())
                out.push_back(std::exchange(current, {}));
            i += isSpace(query[i]) ? 1 : kIdeographicSpace.size();
            continue;
        }
        current += query[i++];
    }
    if (!current.empty())
        out.push_back(std::move(current));
    return out;
}

} // namespace

bool matchesSearch(std::string_view haystack, std::string_view query)
{
    if (query.empty())
        return true;
    const std::string hay = lowered(haystack);
    for (const std::string& piece : pieces(lowered(query)))
        if (hay.find(piece) == std::string::npos)
            return false;
    return true;
}

std::optional<CaughtKey> catchKey(const WindowKeyPress& press)
{
    if (press.escape)
        return CaughtKey{CaughtKey::Kind::escape};
    const std::string& chars = press.charactersIgnoringModifiers;
    if (!press.control || chars.empty())
        return std::nullopt;
    // An optional sign is accepted, as a decimal parser does.
    std::string_view digits = chars;
    if (digits.front() == '+')
        digits.remove_prefix(1);
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && number >= 1 && number <= 9)
        return CaughtKey{CaughtKey::Kind::tab, number - 1};
    if (chars == "k" || chars == "K")
        return CaughtKey{CaughtKey::Kind::search};
    return std::nullopt;
}

std::string searchKeyCapText() { return "Ctrl+K"; }

std::string tabKeyCapText(int oneBasedPosition) { return "Ctrl+" + std::to_string(oneBasedPosition); }

} // namespace hg

#include "ui/shortcuts/hotkey_json.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <variant>
#include <vector>

#include "base/utf8.h"

namespace hg {
namespace {

// A small strict JSON reader (RFC 8259): enough to read any valid document,
// keeping only what the table needs.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    struct Member;
    struct Value {
        // null, bool, number, string, array (count only) or object.
        std::variant<std::monostate, bool, double, std::string, std::size_t, std::vector<Member>> data;
    };
    struct Member {
        std::string name;
        Value value;
    };

    std::optional<Value> document()
    {
        auto value = parseValue(0);
        skipSpace();
        if (!value || m_pos != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    static constexpr int kMaxDepth = 64;

    void skipSpace()
    {
        while (m_pos < m_text.size()
               && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool consume(char c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    std::optional<Value> parseValue(int depth)
    {
        if (depth > kMaxDepth)
            return std::nullopt;
        skipSpace();
        if (m_pos >= m_text.size())
            return std::nullopt;
        const char c = m_text[m_pos];
        if (c == '{')
            return parseObject(depth);
        if (c == '[')
            return parseArray(depth);
        if (c == '"') {
            auto s = parseString();
            if (!s)
                return std::nullopt;
            return Value{std::move(*s)};
        }
        if (literal("true"))
            return Value{true};
        if (literal("false"))
            return Value{false};
        if (literal("null"))
            return Value{std::monostate{}};
        return parseNumber();
    }

    std::optional<Value> parseObject(int depth)
    {
        ++m_pos;
        std::vector<Member> members;
        if (consume('}'))
            return Value{std::move(members)};
        do {
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                return std::nullopt;
            auto name = parseString();
            if (!name || !consume(':'))
                return std::nullopt;
            auto value = parseValue(depth + 1);
            if (!value)
                return std::nullopt;
            members.push_back({std::move(*name), std::move(*value)});
        } while (consume(','));
        if (!consume('}'))
            return std::nullopt;
        return Value{std::move(members)};
    }

    std::optional<Value> parseArray(int depth)
    {
        ++m_pos;
        std::size_t count = 0;
        if (consume(']'))
            return Value{count};
        do {
            if (!parseValue(depth + 1))
                return std::nullopt;
            ++count;
        } while (consume(','));
        if (!consume(']'))
            return std::nullopt;
        return Value{count};
    }

    std::optional<unsigned> hex4()
    {
        if (m_pos + 4 > m_text.size())
            return std::nullopt;
        unsigned v = 0;
        const auto [end, ec] = std::from_chars(m_text.data() + m_pos, m_text.data() + m_pos + 4, v, 16);
        if (ec != std::errc() || end != m_text.data() + m_pos + 4)
            return std::nullopt;
        m_pos += 4;
        return v;
    }

    std::optional<std::string> parseString()
    {
        ++m_pos;  // the opening quote
        std::string out;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return std::nullopt;
            switch (m_text[m_pos++]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                auto unit = hex4();
                if (!unit)
                    return std::nullopt;
                char32_t code = *unit;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (!literal("\\u"))
                        return std::nullopt;
                    auto low = hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF)
                        return std::nullopt;
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    return std::nullopt;
                }
                appendUtf8(out, code);
                break;
            }
            default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<Value> parseNumber()
    {
        // JSON's grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
        const std::size_t start = m_pos;
        auto digits = [&] {
            const std::size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            return m_pos - from;
        };
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        const std::size_t intStart = m_pos;
        const std::size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && m_text[intStart] == '0'))
            return std::nullopt;
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (digits() == 0)
                return std::nullopt;
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (digits() == 0)
                return std::nullopt;
        }
        double value = 0;
        const auto [end, ec] = std::from_chars(m_text.data() + start, m_text.data() + m_pos, value);
        if (ec != std::errc() || end != m_text.data() + m_pos)
            return std::nullopt;
        return Value{value};
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// An optional minus sign and decimal digits, nothing else.
std::optional<std::int64_t> integerName(std::string_view name)
{
    std::int64_t value = 0;
    const char* first = name.data();
    if (name.size() > 1 && name[0] == '+')
        return std::nullopt;
    const auto [end, ec] = std::from_chars(first, name.data() + name.size(), value);
    if (name.empty() || ec != std::errc() || end != name.data() + name.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> uint32Value(const Reader::Value& value)
{
    const double* number = std::get_if<double>(&value.data);
    if (!number || *number < 0 || *number > std::numeric_limits<std::uint32_t>::max() || std::floor(*number) != *number)
        return std::nullopt;
    return static_cast<std::uint32_t>(*number);
}

const Reader::Value* member(const std::vector<Reader::Member>& members, std::string_view name)
{
    for (const auto& m : members)
        if (m.name == name)
            return &m.value;
    return nullptr;
}

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

std::string encodeHotkeyAssignments(const HotkeyAssignments& assignments)
{
    std::string out = "{";
    for (const auto& [raw, combo] : assignments) {
        if (out.size() > 1)
            out += ',';
        appendQuoted(out, std::to_string(raw));
        out += ":{\"keyCode\":" + std::to_string(combo.keyCode);
        out += ",\"carbonModifiers\":" + std::to_string(combo.carbonModifiers);
        out += ",\"label\":";
        appendQuoted(out, combo.label);
        out += '}';
    }
    return out + "}";
}

std::optional<HotkeyAssignments> decodeHotkeyAssignments(std::string_view json)
{
    auto document = Reader(json).document();
    if (!document)
        return std::nullopt;
    const auto* members = std::get_if<std::vector<Reader::Member>>(&document->data);
    if (!members)
        return std::nullopt;
    HotkeyAssignments table;
    for (const auto& [name, value] : *members) {
        const auto raw = integerName(name);
        const auto* fields = std::get_if<std::vector<Reader::Member>>(&value.data);
        if (!raw || !fields)
            return std::nullopt;
        const Reader::Value* keyCode = member(*fields, "keyCode");
        const Reader::Value* modifiers = member(*fields, "carbonModifiers");
        const Reader::Value* label = member(*fields, "label");
        if (!keyCode || !modifiers || !label)
            return std::nullopt;
        const auto code = uint32Value(*keyCode);
        const auto mask = uint32Value(*modifiers);
        const auto* text = std::get_if<std::string>(&label->data);
        if (!code || !mask || !text)
            return std::nullopt;
        table[*raw] = HotkeyCombo{*code, *mask, *text};
    }
    return table;
}

} // namespace hg

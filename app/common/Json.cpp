// SPDX-License-Identifier: MIT
#include "common/Json.h"

#include "common/Cp932.h"
#include "common/NumericText.h"

#include <cstdio>

namespace tessaly {

std::string JsonQuote(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
    return out;
}

} // namespace tessaly

namespace tessaly {
namespace {

constexpr int kMaxDepth = 32;

class JsonReader final {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    std::optional<FlatJson> object()
    {
        FlatJson json;
        if (!members(&json, 0))
            return std::nullopt;
        blanks();
        if (m_at != m_text.size())
            return std::nullopt;
        return json;
    }

private:
    void blanks()
    {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool take(char c)
    {
        blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }

    /// An object; its string and number members go to `json` when given.
    bool members(FlatJson* json, int depth)
    {
        if (depth > kMaxDepth || !take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            std::string name;
            blanks();
            if (!string(&name) || !take(':'))
                return false;
            if (!value(json, name, depth))
                return false;
        } while (take(','));
        return take('}');
    }

    bool value(FlatJson* json, const std::string& name, int depth)
    {
        blanks();
        if (m_at >= m_text.size())
            return false;
        const char c = m_text[m_at];
        if (c == '"') {
            std::string text;
            if (!string(&text))
                return false;
            if (json)
                json->strings[name] = std::move(text);
            return true;
        }
        if (c == '{')
            return members(nullptr, depth + 1);
        if (c == '[')
            return array(depth + 1);
        if (c == '-' || (c >= '0' && c <= '9')) {
            std::string text;
            if (!number(&text))
                return false;
            if (json)
                json->numbers[name] = std::move(text);
            return true;
        }
        return literal("true") || literal("false") || literal("null");
    }

    bool array(int depth)
    {
        if (depth > kMaxDepth || !take('['))
            return false;
        if (take(']'))
            return true;
        do {
            if (!value(nullptr, {}, depth))
                return false;
        } while (take(','));
        return take(']');
    }

    bool number(std::string* out)
    {
        const size_t start = m_at;
        const auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
                ++m_at;
            return m_at > from;
        };
        if (m_at < m_text.size() && m_text[m_at] == '-')
            ++m_at;
        if (!digits())
            return false;
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            ++m_at;
            if (!digits())
                return false;
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-'))
                ++m_at;
            if (!digits())
                return false;
        }
        *out = std::string(m_text.substr(start, m_at - start));
        return true;
    }

    std::optional<unsigned> hex4()
    {
        if (m_at + 4 > m_text.size())
            return std::nullopt;
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
        }
        return value;
    }

    bool string(std::string* out)
    {
        if (m_at >= m_text.size() || m_text[m_at] != '"')
            return false;
        ++m_at;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            const char escape = m_text[m_at++];
            switch (escape) {
            case '"': out->push_back('"'); break;
            case '\\': out->push_back('\\'); break;
            case '/': out->push_back('/'); break;
            case 'b': out->push_back('\b'); break;
            case 'f': out->push_back('\f'); break;
            case 'n': out->push_back('\n'); break;
            case 'r': out->push_back('\r'); break;
            case 't': out->push_back('\t'); break;
            case 'u': {
                std::optional<unsigned> code = hex4();
                if (!code)
                    return false;
                if (*code >= 0xD800 && *code < 0xDC00) {
                    if (!literal("\\u"))
                        return false;
                    const std::optional<unsigned> low = hex4();
                    if (!low || *low < 0xDC00 || *low >= 0xE000)
                        return false;
                    code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*code >= 0xDC00 && *code < 0xE000) {
                    return false;
                }
                AppendUtf8(out, *code);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    std::string_view m_text;
    size_t m_at = 0;
};

} // namespace

std::string FlatJson::text(const std::string& name) const
{
    auto it = strings.find(name);
    return it == strings.end() ? std::string() : it->second;
}

std::optional<long long> FlatJson::integer(const std::string& name) const
{
    std::string digits;
    if (auto it = numbers.find(name); it != numbers.end())
        digits = it->second;
    else if (auto string = strings.find(name); string != strings.end())
        digits = string->second;
    return ParseDigits(digits);
}

std::optional<FlatJson> ParseFlatJson(std::string_view text)
{
    return JsonReader(text).object();
}

} // namespace tessaly

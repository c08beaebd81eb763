// SPDX-License-Identifier: MIT
#include "watch/FileNamePattern.h"

#include "watch/NameCase.h"

#include <cstdint>
#include <cstring>

namespace tessaly {
namespace {

// The upper-cased character at `pos`; ASCII takes the short way.
inline char32_t UpperAt(std::string_view text, size_t pos, size_t* length)
{
    auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
        *length = 1;
        return b >= 'a' && b <= 'z' ? b - 0x20 : b;
    }
    return UpperCodePoint(DecodeNameCharacter(text, pos, length));
}

inline size_t LengthAt(std::string_view text, size_t pos)
{
    if (static_cast<unsigned char>(text[pos]) < 0x80)
        return 1;
    size_t length = 1;
    DecodeNameCharacter(text, pos, &length);
    return length;
}

} // namespace

std::optional<FileNamePattern> FileNamePattern::Compile(std::string_view pattern, std::string* error)
{
    std::vector<char32_t> chars;
    for (size_t pos = 0; pos < pattern.size();) {
        size_t length = 1;
        chars.push_back(UpperCodePoint(DecodeNameCharacter(pattern, pos, &length)));
        pos += length;
    }
    FileNamePattern compiled;
    compiled.m_empty = chars.empty();
    for (size_t pos = 0; pos < chars.size();) {
        char32_t c = chars[pos];
        if (c == '[') {
            std::string reason;
            if (!compiled.parseList(chars, &pos, &reason)) {
                if (error)
                    *error = "ﾌｧｲﾙ名のﾊﾟﾀｰﾝ「" + std::string(pattern) + "」が正しくありません: " + reason;
                return std::nullopt;
            }
            continue;
        }
        Token token;
        token.kind = c == '?' ? Kind::AnyOne : c == '#' ? Kind::Digit : c == '*' ? Kind::Star : Kind::Literal;
        token.value = c;
        // Runs of "*" mean the same as one.
        if (token.kind != Kind::Star || compiled.m_tokens.empty() || compiled.m_tokens.back().kind != Kind::Star)
            compiled.m_tokens.push_back(token);
        ++pos;
    }
    compiled.prepareLiteralRuns();
    return compiled;
}

void FileNamePattern::prepareLiteralRuns()
{
    for (const Token& token : m_tokens) {
        if (token.kind != Kind::Star && (token.kind != Kind::Literal || token.value >= 0x80))
            return;
    }
    m_literalRuns = true;
    for (const Token& token : m_tokens) {
        if (token.kind == Kind::Star)
            m_runEnds.push_back(static_cast<uint32_t>(m_runText.size()));
        else
            m_runText.push_back(static_cast<char>(token.value));
    }
    m_runEnds.push_back(static_cast<uint32_t>(m_runText.size()));
}

bool FileNamePattern::parseList(const std::vector<char32_t>& chars, size_t* pos, std::string* error)
{
    size_t i = *pos + 1;
    Token token;
    token.kind = Kind::InList;
    if (i < chars.size() && chars[i] == '!') {
        token.kind = Kind::NotInList;
        ++i;
    }
    token.first = static_cast<uint32_t>(m_ranges.size());
    for (; i < chars.size() && chars[i] != ']'; ++i) {
        Range range{chars[i], chars[i]};
        if (i + 2 < chars.size() && chars[i + 1] == '-' && chars[i + 2] != ']') {
            range.high = chars[i + 2];
            i += 2;
            if (range.high < range.low) {
                *error = "[...] の範囲が降順です";
                return false;
            }
        }
        m_ranges.push_back(range);
    }
    if (i >= chars.size()) {
        *error = "[ に対応する ] がありません";
        return false;
    }
    token.count = static_cast<uint32_t>(m_ranges.size()) - token.first;
    m_tokens.push_back(token);
    *pos = i + 1;
    return true;
}

bool FileNamePattern::tokenMatches(const Token& token, char32_t c) const
{
    switch (token.kind) {
    case Kind::Literal: return c == token.value;
    case Kind::AnyOne: return true;
    case Kind::Digit: return c >= '0' && c <= '9';
    case Kind::InList:
    case Kind::NotInList: {
        bool found = false;
        for (uint32_t r = token.first; r < token.first + token.count && !found; ++r)
            found = c >= m_ranges[r].low && c <= m_ranges[r].high;
        return found == (token.kind == Kind::InList);
    }
    case Kind::Star: break;
    }
    return false;
}

bool FileNamePattern::matches(std::string_view name) const
{
    if (m_empty)
        return false;
    return m_literalRuns ? matchesLiteralRuns(name) : matchesTokens(name);
}

namespace {

// True when `text` at `pos` equals `run` (upper case ASCII) ignoring case.
// A byte of a multi-byte character is never ASCII, so it never equals.
inline bool RunAt(std::string_view text, size_t pos, std::string_view run)
{
    for (size_t i = 0; i < run.size(); ++i) {
        auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b >= 'a' && b <= 'z' ? b - 0x20 : b) != static_cast<unsigned char>(run[i]))
            return false;
    }
    return true;
}

// The first place at or after `from` where `run` (non-empty, upper case
// ASCII) stands ignoring case and ends by `limit`; npos when there is none.
size_t FindRun(std::string_view text, size_t from, size_t limit, std::string_view run)
{
    if (run.size() > limit - from)
        return std::string_view::npos;
    const size_t lastStart = limit - run.size();
    const auto lead = static_cast<unsigned char>(run[0]);
    const bool letter = lead >= 'A' && lead <= 'Z';
    for (size_t pos = from; pos <= lastStart; ++pos) {
        if (!letter) {
            // The usual case, a run starting with ".": let memchr skip ahead.
            const void* hit = std::memchr(text.data() + pos, lead, lastStart + 1 - pos);
            if (!hit)
                return std::string_view::npos;
            pos = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        } else if ((static_cast<unsigned char>(text[pos]) & 0xDF) != lead) {
            continue;
        }
        if (RunAt(text, pos + 1, run.substr(1)))
            return pos;
    }
    return std::string_view::npos;
}

} // namespace

bool FileNamePattern::matchesLiteralRuns(std::string_view name) const
{
    // An ASCII character of the pattern can only meet an ASCII byte of the
    // name, and ASCII bytes are whole characters in UTF-8 (and among
    // invalid bytes), so comparing bytes gives what comparing characters
    // gives. Between the fixed first and last runs, taking each middle run
    // at its leftmost place is always best.
    const size_t runs = m_runEnds.size();
    auto run = [this](size_t i) {
        size_t begin = i == 0 ? 0 : m_runEnds[i - 1];
        return std::string_view(m_runText).substr(begin, m_runEnds[i] - begin);
    };
    std::string_view first = run(0);
    if (runs == 1)
        return name.size() == first.size() && RunAt(name, 0, first);
    std::string_view last = run(runs - 1);
    if (name.size() < m_runText.size() || !RunAt(name, 0, first) || !RunAt(name, name.size() - last.size(), last))
        return false;
    size_t pos = first.size();
    const size_t limit = name.size() - last.size();
    for (size_t i = 1; i + 1 < runs; ++i) {
        std::string_view middle = run(i);
        if (middle.size() > limit - pos)
            return false;
        pos = FindRun(name, pos, limit, middle);
        if (pos == std::string_view::npos)
            return false;
        pos += middle.size();
    }
    return true;
}

bool FileNamePattern::matchesTokens(std::string_view name) const
{
    // Greedy matching with one resume point at the last "*": every other
    // token takes exactly one character, so resuming there is enough and
    // the cost stays at most name length x pattern length.
    const size_t tokenCount = m_tokens.size();
    size_t t = 0;
    size_t n = 0;
    constexpr size_t kNoStar = SIZE_MAX;
    size_t starToken = kNoStar;
    size_t starName = 0;
    while (n < name.size()) {
        if (t < tokenCount && m_tokens[t].kind == Kind::Star) {
            starToken = ++t;
            starName = n;
            continue;
        }
        if (t < tokenCount) {
            size_t length = 1;
            char32_t c = UpperAt(name, n, &length);
            if (tokenMatches(m_tokens[t], c)) {
                ++t;
                n += length;
                continue;
            }
        }
        if (starToken == kNoStar)
            return false;
        starName += LengthAt(name, starName);
        n = starName;
        t = starToken;
    }
    while (t < tokenCount && m_tokens[t].kind == Kind::Star)
        ++t;
    return t == tokenCount;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// A file-name pattern, compiled once and matched against many names.
///
/// Pattern and name are both upper-cased with UpperCodePoint (NameCase.h)
/// and compared character by character on Unicode code points (a byte that
/// is not valid UTF-8 counts as one character of its own):
///   ?       any one character
///   *       any run of characters, including none
///   #       one digit 0-9
///   [list]  one character in the list; "A-Z" is an ascending range, a
///           hyphen first or last is itself, the first "]" ends the list
///           (so "[]" matches no character and "[!]" any one)
///   [!list] one character not in the list
///   other   itself
/// The whole name must match the whole pattern; the empty pattern matches
/// nothing. Matching allocates nothing, decodes ASCII names byte by byte and
/// takes at most (name length x pattern length) steps; a pattern of only "*"
/// and ASCII characters is matched on the bytes directly.
class FileNamePattern final {
public:
    /// Compiles `pattern`. An unclosed "[" or a descending range makes the
    /// pattern invalid: gives nothing and sets *error (when given).
    static std::optional<FileNamePattern> Compile(std::string_view pattern, std::string* error = nullptr);

    /// True when the whole of `name` (UTF-8, no folder) matches. Thread-safe.
    bool matches(std::string_view name) const;

private:
    enum class Kind : uint8_t { Literal, AnyOne, Digit, Star, InList, NotInList };

    struct Token {
        Kind kind = Kind::Literal;
        char32_t value = 0; // Literal: the character
        uint32_t first = 0; // lists: first range in m_ranges
        uint32_t count = 0; // lists: number of ranges
    };

    struct Range {
        char32_t low;
        char32_t high;
    };

    FileNamePattern() = default;
    bool parseList(const std::vector<char32_t>& chars, size_t* pos, std::string* error);
    void prepareLiteralRuns();
    bool tokenMatches(const Token& token, char32_t c) const;
    bool matchesTokens(std::string_view name) const;
    bool matchesLiteralRuns(std::string_view name) const;

    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;
    bool m_empty = true;
    // Patterns made only of "*" and ASCII characters (the usual "*.doc*")
    // are matched byte by byte: the runs between the stars, upper-cased and
    // joined in m_runText, each ending at m_runEnds[i].
    bool m_literalRuns = false;
    std::string m_runText;
    std::vector<uint32_t> m_runEnds;
};

} // namespace tessaly

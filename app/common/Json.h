// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// `text` (UTF-8) as a JSON string literal, quotes included. Control
/// characters are escaped; other characters pass through unchanged.
std::string JsonQuote(std::string_view text);

/// The members of a flat JSON object (a token endpoint's answer): strings
/// (escapes decoded to UTF-8) and numbers (as their text). Members holding
/// objects, arrays, true, false or null are passed over; a repeated name
/// keeps its last value.
struct FlatJson {
    std::map<std::string, std::string> strings;
    std::map<std::string, std::string> numbers;

    /// The string member `name`, or "" when there is none.
    std::string text(const std::string& name) const;
    /// The number member `name` (or a string of digits, as some services
    /// send them) as a whole number, or nothing.
    std::optional<long long> integer(const std::string& name) const;
};

/// Reads `text` as one JSON object (blanks around it allowed). Nothing
/// for anything else: a syntax error, a bad escape, nesting deeper than 32
/// levels, text after the object.
std::optional<FlatJson> ParseFlatJson(std::string_view text);

} // namespace tessaly

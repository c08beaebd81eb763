// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly {

/// Parses a numeric text as the program's settings use it: optional blanks
/// around, an optional sign, decimal digits with an optional fraction and an
/// optional exponent ("1", " 2 ", "-1", "1.5", ".5", "1e2"). Gives nothing for
/// an empty or non-numeric text.
std::optional<double> ParseNumber(std::string_view text);

/// Rounds to the nearest whole number, halves to the even one (0.5 -> 0,
/// 1.5 -> 2, 2.5 -> 2).
double RoundHalfEven(double value);

/// A numeric text converted to a 16-bit integer with halves rounded to even.
/// Gives nothing for non-numeric text or a value outside -32768..32767.
std::optional<int16_t> ParseInt16(std::string_view text);

/// A text of 1 to 15 decimal digits and nothing else (no sign, no blanks)
/// as a whole number; nothing for any other text.
std::optional<long long> ParseDigits(std::string_view text);

} // namespace tessaly

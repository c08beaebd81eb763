// SPDX-License-Identifier: MIT
#include "common/NumericText.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tessaly {
namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<double> ParseNumber(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    // Validate the shape ourselves; strtod alone would also take "inf",
    // "nan" and hexadecimal forms.
    size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    size_t digits = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
        ++digits;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++pos;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            ++pos;
        size_t exponentDigits = 0;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++pos;
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (pos != text.size())
        return std::nullopt;
    std::string copy(text);
    double value = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double RoundHalfEven(double value)
{
    // nearbyint honours the current rounding mode, which is to-nearest-even
    // unless someone changed it; make that explicit.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

std::optional<int16_t> ParseInt16(std::string_view text)
{
    std::optional<double> value = ParseNumber(text);
    if (!value)
        return std::nullopt;
    double rounded = RoundHalfEven(*value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

std::optional<long long> ParseDigits(std::string_view text)
{
    if (text.empty() || text.size() > 15)
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace tessaly

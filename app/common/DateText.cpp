// SPDX-License-Identifier: MIT
#include "common/DateText.h"

#include <cstdio>

namespace tessaly {
namespace {

std::string Printf(const char* format, int a, int b, int c, int d = 0, int e = 0, int f = 0)
{
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, format, a, b, c, d, e, f);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

/// Reads between `minDigits` and `maxDigits` ASCII digits at `pos`.
bool ReadNumber(std::string_view text, size_t& pos, int minDigits, int maxDigits, int* value)
{
    int digits = 0;
    int n = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        n = n * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    *value = n;
    return digits >= minDigits;
}

bool Expect(std::string_view text, size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string FormatDateTime(AutomationDate value)
{
    CivilDateTime c = FromAutomationDate(value);
    return Printf("%04d/%02d/%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::string FormatDate(AutomationDate value)
{
    CivilDateTime c = FromAutomationDate(value);
    return Printf("%04d/%02d/%02d", c.year, c.month, c.day);
}

std::string FormatHistoryTime(AutomationDate value)
{
    CivilDateTime c = FromAutomationDate(value);
    return Printf("%02d年%02d月%02d_%02d:%02d:%02d", c.year % 100, c.month, c.day, c.hour, c.minute, c.second);
}

std::string FormatManagementNo(AutomationDate value)
{
    CivilDateTime c = FromAutomationDate(value);
    return Printf("%02d%02d%02d%02d%02d", c.hour, c.minute, c.second, c.day, c.month);
}

std::optional<AutomationDate> ParseDateTime(std::string_view input)
{
    std::string_view text = Trim(input);
    size_t pos = 0;
    CivilDateTime c;
    if (!ReadNumber(text, pos, 4, 4, &c.year) || pos >= text.size())
        return std::nullopt;
    // The ISO form takes exactly two digits everywhere; the slash form one or two.
    const char separator = text[pos];
    if (separator != '/' && separator != '-')
        return std::nullopt;
    const int minDigits = separator == '-' ? 2 : 1;
    ++pos;
    if (!ReadNumber(text, pos, minDigits, 2, &c.month) || !Expect(text, pos, separator) ||
        !ReadNumber(text, pos, minDigits, 2, &c.day))
        return std::nullopt;
    if (pos < text.size()) {
        if (!Expect(text, pos, ' '))
            return std::nullopt;
        if (!ReadNumber(text, pos, minDigits, 2, &c.hour) || !Expect(text, pos, ':') ||
            !ReadNumber(text, pos, 2, 2, &c.minute))
            return std::nullopt;
        if (pos < text.size() && (!Expect(text, pos, ':') || !ReadNumber(text, pos, 2, 2, &c.second)))
            return std::nullopt;
        if (pos != text.size())
            return std::nullopt;
    }
    if (!IsValidCivil(c))
        return std::nullopt;
    return ToAutomationDate(c);
}

} // namespace tessaly

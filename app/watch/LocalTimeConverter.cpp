// SPDX-License-Identifier: MIT
#include "watch/LocalTimeConverter.h"

#include <ctime>
#include <optional>

namespace tessaly {
namespace {

constexpr int64_t kSpanSeconds = 900;
constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t value, int64_t divisor)
{
    int64_t quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

// Local minus UTC at `seconds`, taken from the calendar fields localtime_r
// gives (so leap-second zones, whose fields are not UTC plus tm_gmtoff,
// still come out right). Nothing when localtime_r fails.
std::optional<int64_t> LocalOffsetAt(int64_t seconds)
{
    time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local))
        return std::nullopt;
    int64_t days = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    int64_t localSeconds =
        days * kSecondsPerDay + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return localSeconds - seconds;
}

} // namespace

LocalTimeConverter::LocalTimeConverter() = default;

void LocalTimeConverter::fill(Span* span, int64_t index)
{
    span->index = index;
    std::optional<int64_t> start = LocalOffsetAt(index * kSpanSeconds);
    std::optional<int64_t> end = LocalOffsetAt(index * kSpanSeconds + kSpanSeconds - 1);
    span->uniform = start && end && *start == *end;
    span->offset = static_cast<int32_t>(start.value_or(0));
}

AutomationDate LocalTimeConverter::convert(int64_t seconds, long nanoseconds)
{
    int64_t index = FloorDiv(seconds, kSpanSeconds);
    Span& span = m_spans[static_cast<size_t>(index) % m_spans.size()];
    if (span.index != index)
        fill(&span, index);
    if (!span.uniform)
        return AutomationDateFromUnix(seconds, nanoseconds);
    // The same arithmetic as ToAutomationDate, so that the results are
    // identical to the bit.
    int64_t local = seconds + span.offset;
    int64_t days = FloorDiv(local, kSecondsPerDay);
    int64_t secondOfDay = local - days * kSecondsPerDay;
    double day = static_cast<double>(days + kDaysFrom1899ToUnixEpoch);
    double fraction = (static_cast<double>(secondOfDay) + nanoseconds / 1e9) / 86400.0;
    return day >= 0 ? day + fraction : day - fraction;
}

} // namespace tessaly

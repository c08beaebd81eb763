// SPDX-License-Identifier: MIT
#include "common/AutomationDate.h"

#include <cmath>
#include <optional>

namespace tessaly {

int64_t DaysFromCivil(int year, int month, int day)
{
    // Howard Hinnant's days_from_civil.
    int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = (month + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

namespace {

void CivilFromDays(int64_t z, int* year, int* month, int* day)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    *month = m;
    *day = d;
}

/// The wall-clock fields as seconds since 1970-01-01 00:00, as if they were
/// UTC.
int64_t WallSeconds(const CivilDateTime& value)
{
    return DaysFromCivil(value.year, value.month, value.day) * 86400 + value.hour * 3600 + value.minute * 60 +
           value.second;
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

bool IsValidCivil(const CivilDateTime& v)
{
    return v.year >= 100 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
           v.day <= DaysInMonth(v.year, v.month) && v.hour >= 0 && v.hour <= 23 && v.minute >= 0 && v.minute <= 59 &&
           v.second >= 0 && v.second <= 59 && v.nanosecond >= 0 && v.nanosecond < 1000000000L;
}

AutomationDate ToAutomationDate(const CivilDateTime& v)
{
    double day = static_cast<double>(DaysFromCivil(v.year, v.month, v.day) + kDaysFrom1899ToUnixEpoch);
    double fraction = (v.hour * 3600.0 + v.minute * 60.0 + v.second + v.nanosecond / 1e9) / 86400.0;
    return day >= 0 ? day + fraction : day - fraction;
}

CivilDateTime FromAutomationDate(AutomationDate value)
{
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    auto seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
    auto day = static_cast<int64_t>(whole);
    if (seconds >= 86400) {
        // Rounded up to the next midnight; forward in time whatever the sign.
        seconds -= 86400;
        day += 1;
    }
    CivilDateTime out;
    CivilFromDays(day - kDaysFrom1899ToUnixEpoch, &out.year, &out.month, &out.day);
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds / 60 % 60);
    out.second = static_cast<int>(seconds % 60);
    return out;
}

CivilDateTime LocalCivilFromUnix(int64_t seconds, long nanoseconds)
{
    time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    localtime_r(&t, &local);
    CivilDateTime out;
    out.year = local.tm_year + 1900;
    out.month = local.tm_mon + 1;
    out.day = local.tm_mday;
    out.hour = local.tm_hour;
    out.minute = local.tm_min;
    out.second = local.tm_sec;
    out.nanosecond = nanoseconds;
    return out;
}

AutomationDate AutomationDateFromUnix(int64_t seconds, long nanoseconds)
{
    return ToAutomationDate(LocalCivilFromUnix(seconds, nanoseconds));
}

int64_t EarliestInstantOf(AutomationDate local)
{
    const int64_t wall = WallSeconds(FromAutomationDate(local));
    const auto wallAt = [](int64_t instant) { return WallSeconds(LocalCivilFromUnix(instant)); };
    // The offsets in force a day either side cover any clock change near
    // this time; each that maps back onto the same wall time is a match.
    std::optional<int64_t> earliest;
    for (int64_t probe : {wall - 86400, wall, wall + 86400}) {
        const int64_t instant = wall - (wallAt(probe) - probe);
        if (wallAt(instant) == wall && (!earliest || instant < *earliest))
            earliest = instant;
    }
    if (earliest)
        return *earliest;
    // A skipped wall time: the first instant whose wall time is later.
    int64_t before = wall - 26 * 3600;
    int64_t after = wall + 26 * 3600;
    while (before + 1 < after) {
        const int64_t middle = before + (after - before) / 2;
        (wallAt(middle) >= wall ? after : before) = middle;
    }
    return after;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>

namespace tessaly {

/// A local date-time as days (with fraction) since 30 December 1899 00:00,
/// the automation date. Before that day the integer part counts back and the
/// fraction still runs forward from midnight (-1.25 is 29 Dec 1899 06:00).
using AutomationDate = double;

/// Days from 1 January 1601 (the zero of file times) to 30 December 1899.
inline constexpr int kDaysFrom1601To1899 = 109205;
/// Days from 30 December 1899 to 1 January 1970.
inline constexpr int kDaysFrom1899ToUnixEpoch = 25569;

/// Calendar fields of a local date-time. `nanosecond` keeps sub-second
/// precision where a source has it (file times).
struct CivilDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    long nanosecond = 0;

    friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

/// Days since 1970-01-01 of a proleptic Gregorian date (negative before).
int64_t DaysFromCivil(int year, int month, int day);

/// True when the fields name a real calendar date and time of day.
bool IsValidCivil(const CivilDateTime& value);

/// The automation date of the given local fields. No time zone is involved.
AutomationDate ToAutomationDate(const CivilDateTime& value);

/// The local fields of an automation date, rounded to the nearest second the
/// way date texts show it.
CivilDateTime FromAutomationDate(AutomationDate value);

/// Converts a UTC instant to local time with the time-zone rules in force at
/// that instant (not the present bias).
CivilDateTime LocalCivilFromUnix(int64_t seconds, long nanoseconds = 0);

/// The automation date of a UTC instant in local time.
AutomationDate AutomationDateFromUnix(int64_t seconds, long nanoseconds = 0);

/// The earliest instant (seconds since the Unix epoch, UTC) whose local
/// wall-clock time, in whole seconds, is that of `local` (rounded to the
/// second). In the hour that repeats when the clocks go back that is its
/// first occurrence; a wall-clock time that the clocks skip gives the first
/// instant after the skip.
int64_t EarliestInstantOf(AutomationDate local);

/// The date of the zero file time (1 January 1601 00:00), which is earlier
/// than any last-check value.
inline constexpr AutomationDate kFileTimeZero = -kDaysFrom1601To1899;

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <array>
#include <cstdint>

namespace tessaly {

/// Converts UTC instants to local automation dates with the time-zone rules
/// in force at each instant, giving exactly what AutomationDateFromUnix
/// gives, but without asking the C library for every file: the local offset
/// is remembered per 15-minute span (the last 1024 spans met, about ten
/// days' worth when they lie together), after checking that it is the same
/// at both ends of the span; spans that hold an offset change are converted
/// directly. About 16 kB. Not thread-safe: give each thread its own
/// converter, and make a new one after the time zone changes.
class LocalTimeConverter final {
public:
    LocalTimeConverter();

    /// The local automation date of `seconds` + `nanoseconds` after the Unix
    /// epoch (UTC).
    AutomationDate convert(int64_t seconds, long nanoseconds);

private:
    struct Span {
        int64_t index = INT64_MIN; // span number (seconds / 900, rounded down)
        int32_t offset = 0;        // local minus UTC, in seconds
        bool uniform = false;      // one offset holds for the whole span
    };

    void fill(Span* span, int64_t index);

    std::array<Span, 1024> m_spans;
};

} // namespace tessaly

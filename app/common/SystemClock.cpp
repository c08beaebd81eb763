// SPDX-License-Identifier: MIT
#include "common/Clock.h"
#include "common/FileSystem.h"

#include <ctime>

namespace tessaly {

AutomationDate SystemClock::Now() const
{
    // The same clock WaitForNextSecond watches: time() may lag it slightly.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return AutomationDateFromUnix(static_cast<int64_t>(now.tv_sec));
}

int64_t SystemClock::UnixNow() const
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec);
}

void SystemClock::WaitForNextSecond() const
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec rest{0, 1000000000L - now.tv_nsec + 1000000L};
    if (rest.tv_nsec >= 1000000000L) {
        rest.tv_sec = 1;
        rest.tv_nsec -= 1000000000L;
    }
    RetryOnEintr([&] { return nanosleep(&rest, &rest); });
}

void SystemClock::WaitUntil(int64_t unixSecond) const
{
    // Whole seconds at a time, and never more of them than were asked for
    // at the start: a clock set back meanwhile does not stretch the wait,
    // one set forward ends it.
    for (int64_t rest = unixSecond - UnixNow(); rest > 0 && UnixNow() < unixSecond; --rest)
        WaitForNextSecond();
}

} // namespace tessaly

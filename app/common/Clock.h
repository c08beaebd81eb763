// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

namespace tessaly {

/// The program's source of the current local date-time. The minute timer,
/// the check run's "now" and the management number all ask it, so tests can
/// step time instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    /// The current local date-time, in whole seconds.
    virtual AutomationDate Now() const = 0;
    /// The current instant in whole seconds since the Unix epoch (UTC). By
    /// default the earliest instant with Now()'s wall-clock time, which is
    /// exact for the real clock except in the hour that repeats when the
    /// clocks go back.
    virtual int64_t UnixNow() const { return EarliestInstantOf(Now()); }
    /// Returns once the clock has passed into a new whole second, so that
    /// Now() read right after it is (nearly) exact. Stepped clocks need not
    /// wait.
    virtual void WaitForNextSecond() const {}
    /// Returns once UnixNow() has reached `unixSecond` (at once when it
    /// has). Stepped clocks need not wait.
    virtual void WaitUntil(int64_t unixSecond) const { static_cast<void>(unixSecond); }
};

/// The real clock of the machine.
class SystemClock final : public Clock {
public:
    AutomationDate Now() const override;
    int64_t UnixNow() const override;
    void WaitForNextSecond() const override;
    void WaitUntil(int64_t unixSecond) const override;
};

} // namespace tessaly

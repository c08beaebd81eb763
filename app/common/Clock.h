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
    /// Returns once the clock has passed into a new whole second, so that
    /// Now() read right after it is (nearly) exact. Stepped clocks need not
    /// wait.
    virtual void WaitForNextSecond() const {}
};

/// The real clock of the machine.
class SystemClock final : public Clock {
public:
    AutomationDate Now() const override;
    void WaitForNextSecond() const override;
};

} // namespace tessaly

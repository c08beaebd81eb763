// SPDX-License-Identifier: MIT
#pragma once

#include "common/Clock.h"

#include <functional>

namespace tessaly::test {

/// A clock that says what the test tells it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(AutomationDate now = 0) : now(now) {}
    AutomationDate Now() const override { return now; }
    AutomationDate now;
};

/// A clock that stands still until a wait moves it on: WaitForNextSecond
/// steps one second, WaitUntil jumps to its second. `onWait` runs after
/// each step, for what changes in the world meanwhile.
class SteppingClock final : public Clock {
public:
    explicit SteppingClock(int64_t unixNow) : now(unixNow) {}
    AutomationDate Now() const override { return AutomationDateFromUnix(now); }
    int64_t UnixNow() const override { return now; }
    void WaitForNextSecond() const override { step(now + 1); }
    void WaitUntil(int64_t unixSecond) const override
    {
        if (unixSecond > now)
            step(unixSecond);
    }

    mutable int64_t now;
    mutable int waits = 0;
    std::function<void(int64_t)> onWait;

private:
    void step(int64_t to) const
    {
        now = to;
        ++waits;
        if (onWait)
            onWait(to);
    }
};

} // namespace tessaly::test

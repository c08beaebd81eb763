// SPDX-License-Identifier: MIT
#pragma once

#include "common/Clock.h"

namespace tessaly::test {

/// A clock that says what the test tells it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(AutomationDate now = 0) : now(now) {}
    AutomationDate Now() const override { return now; }
    AutomationDate now;
};

} // namespace tessaly::test

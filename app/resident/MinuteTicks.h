// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly {

/// The minute timer of the headless loop. The real one waits on the steady
/// clock; tests hand out ticks without waiting.
class MinuteTicks {
public:
    virtual ~MinuteTicks() = default;
    /// Blocks until the next tick. False when the program is to stop.
    virtual bool nextTick() = 0;
    /// Blocks until the program is to stop (used when the timer is not armed).
    virtual void waitForStop() = 0;
};

} // namespace tessaly

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
};

} // namespace tessaly

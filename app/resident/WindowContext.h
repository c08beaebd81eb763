// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ResidentData.h"

namespace tessaly {

class CheckRunner;
class Clock;
class UserMessages;

/// How long a window's save waits for a check run or another save on the
/// same data folder (tessalyctl, say) before it reports the folder busy.
inline constexpr double kWindowLockWaitSeconds = 5;

/// What the child windows work on: the program's records, edited in place,
/// and its services. Every reference outlives every window.
struct WindowContext {
    ResidentData& data;
    UserMessages& messages;
    CheckRunner& checkRunner; ///< the subscription editor's check on demand
    const Clock& clock;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ResidentData.h"

#include <functional>

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
    /// Called after the basic settings were saved, so that the running
    /// program follows them (the timer's interval); may be empty.
    std::function<void()> settingsSaved = {};
    /// Called after the subscriptions were saved, so that the running
    /// program follows them (the folders watched live); may be empty.
    std::function<void()> subscriptionsSaved = {};
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "settings/BasicSettings.h"
#include "watch/SubscriptionTable.h"

#include <functional>
#include <string>

namespace tessaly {

class Balloon;
class Clock;
class UserMessages;

/// What the check run works with in the running program. Every reference
/// stays valid for the whole run of the program.
struct CheckEnvironment {
    const std::string& folder;        ///< the data folder
    BasicSettings& settings;          ///< read by the run
    SubscriptionTable& subscriptions; ///< the run writes the LastCheck cells
    Balloon& balloon;                 ///< the tray balloon, or standard output when headless
    UserMessages& messages;           ///< message boxes, or standard error when headless
    const Clock& clock;
    /// Tell each skipped folder once per program run (a desktop, where each
    /// telling is a message box) instead of at every run (a log).
    bool tellSkippedFoldersOnce = false;
};

/// Makes the check run the program starts every `Conf_Interval` minutes.
/// The returned function performs one complete run and returns its result;
/// it keeps its own copy of `environment` (whose references outlive it).
std::function<bool()> MakeCheckRun(CheckEnvironment environment);

} // namespace tessaly

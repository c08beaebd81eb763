// SPDX-License-Identifier: MIT
#pragma once

#include "settings/BasicSettings.h"
#include "watch/SubscriptionTable.h"

#include <ostream>
#include <string>

namespace tessaly {

class UserMessages;

/// The records the resident program owns for its whole run: the data folder,
/// the basic settings and the subscription table. Start-up loads them once;
/// the windows and the check run work on them in place.
struct ResidentData {
    std::string folder;
    BasicSettings settings;
    SubscriptionTable subscriptions;
};

/// Resets the settings to their defaults and reads sysconfig.dat into them.
/// A damaged file leaves the fields it did not reach at their defaults and
/// is not shown to the user; its cause goes to `log`.
void LoadResidentSettings(ResidentData& data, std::ostream& log);

/// Reads subscription.dat into the table; whatever goes wrong is reported
/// through `messages` by the load itself.
void LoadResidentSubscriptions(ResidentData& data, UserMessages& messages);

} // namespace tessaly

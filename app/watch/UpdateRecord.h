// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <string>

namespace tessaly {

/// One recorded document, handed from the check run to the history writer.
struct UpdateRecord {
    std::string SubscriptionName; ///< the subscription row's Name
    std::string FilePath;         ///< full path as the walk returned it
    AutomationDate Created = 0;   ///< creation time, local
    AutomationDate Written = 0;   ///< last-write time, local
};

} // namespace tessaly

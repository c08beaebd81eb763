// SPDX-License-Identifier: MIT
#include "common/Clock.h"

#include <ctime>

namespace tessaly {

AutomationDate SystemClock::Now() const
{
    return AutomationDateFromUnix(static_cast<int64_t>(std::time(nullptr)));
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/CheckRunWiring.h"

#include "notify/ComponentMailTransfer.h"
#include "notify/ComponentZipArchiver.h"
#include "watch/CheckRun.h"

#include <memory>

namespace tessaly {

std::function<bool()> MakeCheckRun(CheckEnvironment environment)
{
    // The components are loaded on first use and kept for the program's life.
    auto mail = std::make_shared<ComponentMailTransfer>();
    auto zip = std::make_shared<ComponentZipArchiver>();
    return [environment, mail, zip]() {
        CheckRunContext context{environment.folder,    environment.settings, environment.subscriptions,
                                environment.balloon,   environment.messages, environment.clock,
                                *mail,                 *zip};
        return CheckSubscriptions(context);
    };
}

} // namespace tessaly

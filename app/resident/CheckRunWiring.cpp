// SPDX-License-Identifier: MIT
#include "resident/CheckRunWiring.h"

#include "checkrun/CheckRun.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/ComponentZipArchiver.h"

#include <memory>
#include <set>
#include <string>

namespace tessaly {

std::function<bool()> MakeCheckRun(CheckEnvironment environment)
{
    // The components are loaded on first use and kept for the program's life.
    auto mail = std::make_shared<ComponentMailTransfer>();
    auto zip = std::make_shared<ComponentZipArchiver>();
    auto toldSkippedFolders = std::make_shared<std::set<std::string>>();
    return [environment, mail, zip, toldSkippedFolders]() {
        CheckRunContext context{environment.folder,    environment.settings, environment.subscriptions,
                                environment.balloon,   environment.messages, environment.clock,
                                *mail,                 *zip};
        if (environment.tellSkippedFoldersOnce)
            context.toldSkippedFolders = toldSkippedFolders.get();
        return CheckSubscriptions(context);
    };
}

} // namespace tessaly

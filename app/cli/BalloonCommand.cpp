// SPDX-License-Identifier: MIT
// tessalyctl balloon TITLE TEXT: sets the balloon of the running program.
#include "cli/Ctl.h"

#include "common/BalloonFeedClient.h"

namespace tessaly {

int RunBalloon(CtlContext& context, const std::string& title, const std::string& text)
{
    std::string error;
    if (!SendBalloonFeed(context.folder, title, text, &error)) {
        context.err << "tessalyctl: " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/HeadlessProgram.h"

#include "checkrun/CheckRun.h"
#include "common/Clock.h"
#include "common/StreamMessages.h"
#include "resident/CheckRunner.h"
#include "resident/HeadlessBalloon.h"
#include "resident/HeadlessBalloonFeed.h"
#include "resident/HeadlessLoop.h"
#include "resident/ResidentData.h"
#include "resident/SteadyMinuteTicks.h"
#include "resident/StopSignals.h"

#include <iostream>

namespace tessaly {

int RunHeadlessProgram(const std::string& folder, std::chrono::milliseconds minute)
{
    StreamMessages messages(std::cerr);
    HeadlessBalloon balloon(std::cout);
    SystemClock clock;
    ResidentData data{folder, {}, {}};
    // Skipped folders go to the log at every run, like everything else here.
    CheckRunner checkRunner([&] {
        CheckRunContext run{data.folder, data.settings, data.subscriptions, balloon, messages, clock};
        return CheckSubscriptions(run);
    });
    SteadyMinuteTicks ticks(minute, StopSignals::Install().fd());
    // `tessalyctl balloon` reaches this program as it reaches the desktop one.
    HeadlessBalloonFeed feed(folder, balloon, std::cerr);
    HeadlessLoop loop(data, messages, checkRunner, ticks, std::cerr);
    loop.load();
    loop.run();
    return 0;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/HeadlessProgram.h"

#include "cli/CtlMessages.h"
#include "common/Clock.h"
#include "resident/CheckRunWiring.h"
#include "resident/CheckRunner.h"
#include "resident/HeadlessBalloon.h"
#include "resident/HeadlessLoop.h"
#include "resident/ResidentData.h"
#include "resident/SteadyMinuteTicks.h"
#include "resident/StopSignals.h"

#include <iostream>

namespace tessaly {

int RunHeadlessProgram(const std::string& folder, std::chrono::milliseconds minute)
{
    CtlMessages messages(std::cerr);
    HeadlessBalloon balloon(std::cout);
    SystemClock clock;
    ResidentData data{folder, {}, {}};
    CheckRunner checkRunner(MakeCheckRun({data.folder, data.settings, data.subscriptions, balloon, messages, clock}));
    SteadyMinuteTicks ticks(minute, StopSignals::Install().fd());
    HeadlessLoop loop(data, messages, checkRunner, ticks, std::cerr);
    loop.load();
    loop.run();
    return 0;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "resident/HeadlessProgram.h"

#include "checkrun/CheckRun.h"
#include "common/Clock.h"
#include "common/StreamMessages.h"
#include "notify/Outbox.h"
#include "resident/CheckRunner.h"
#include "resident/DataFileFollower.h"
#include "resident/HeadlessBalloon.h"
#include "resident/HeadlessBalloonFeed.h"
#include "resident/HeadlessLoop.h"
#include "resident/LiveChecks.h"
#include "resident/ResidentData.h"
#include "resident/ResidentOptions.h"
#include "resident/SteadyMinuteTicks.h"
#include "resident/StopSignals.h"

#include <functional>
#include <iostream>
#include <utility>
#include <vector>

namespace tessaly {

int RunHeadlessProgram(const std::string& folder, std::chrono::milliseconds minute)
{
    StreamMessages messages(std::cerr);
    HeadlessBalloon balloon(std::cout);
    SystemClock clock;
    ResidentData data{folder, {}, {}};
    // Before each run the records take in what others wrote to the files.
    std::function<void()> followFiles;
    // A live check leaves out the documents still changing.
    std::vector<uint64_t> holdBack;
    // Skipped folders go to the log at every run, like everything else here;
    // a data folder others may write stops every run but is told once.
    bool toldUntrustedFolder = false;
    CheckRunner checkRunner([&](RowMask rows) {
        if (followFiles)
            followFiles();
        CheckRunContext run{data.folder, data.settings, data.subscriptions, balloon, messages, clock};
        run.rows = rows;
        run.toldUntrustedFolder = &toldUntrustedFolder;
        run.holdBack = std::exchange(holdBack, {});
        return CheckSubscriptions(run);
    });
    SteadyMinuteTicks ticks(minute, StopSignals::Install().fd());
    // Live watching: a row whose documents changed is checked on its own
    // once they are quiet, between the ticks, on this thread.
    LiveChecks live(
        messages,
        [&](RowMask rows, std::vector<uint64_t> busy) {
            holdBack = std::move(busy);
            checkRunner.run({}, rows);
            holdBack.clear();
        },
        LiveWatchTestSeams());
    live.setLog([](const std::string& line) { std::cerr << "tessaly: " << line << std::endl; });
    ticks.setLiveChecks(&live);
    // `tessalyctl balloon` reaches this program as it reaches the desktop one.
    HeadlessBalloonFeed feed(folder, balloon, std::cerr);
    HeadlessLoop loop(data, messages, checkRunner, ticks, std::cerr);
    loop.load();
    // After every run: a watched folder that went away may be back.
    std::string summary;
    const auto followSummary = [&] {
        if (live.summary() != summary && !live.summary().empty())
            std::cerr << "tessaly: " << live.summary() << std::endl;
        summary = live.summary();
    };
    live.setOnChange(followSummary);
    const auto followLive = [&] {
        live.apply(data, true);
        followSummary();
    };
    // After every run, the mails that wait to be sent again, when that changed.
    size_t waiting = 0;
    const auto tellWaiting = [&] {
        const size_t now = Outbox(folder).list().size();
        if (now != waiting)
            std::cerr << "tessaly: " << now << " mail(s) wait in the outbox (tessalyctl outbox)" << std::endl;
        waiting = now;
    };
    QObject::connect(&checkRunner, &CheckRunner::runningChanged, [&followLive, &tellWaiting](bool running) {
        TestTrace(running ? "check started" : "check ended");
        if (!running) {
            followLive();
            tellWaiting();
        }
    });
    tellWaiting();
    followLive();
    // Settings and subscriptions written with tessalyctl apply at once.
    DataFileFollower follower(data, std::cerr);
    followFiles = [&] {
        const DataFileFollower::Changes changes = follower.refresh();
        if (changes.settings)
            loop.applySettings();
        if (changes)
            followLive();
    };
    ticks.setWatch(follower.fd(), followFiles);
    loop.run();
    return 0;
}

} // namespace tessaly

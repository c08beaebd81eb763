// SPDX-License-Identifier: MIT
#include "resident/HeadlessProgram.h"

#include "common/Clock.h"
#include "common/StreamMessages.h"
#include "notify/Outbox.h"
#include "resident/BackgroundCheck.h"
#include "resident/BalloonFeed.h"
#include "resident/CheckDriver.h"
#include "resident/DataFileFollower.h"
#include "resident/HeadlessBalloon.h"
#include "resident/ResidentData.h"
#include "resident/ResidentOptions.h"
#include "resident/StopSignals.h"
#include "settings/CheckedSettings.h"

#include <QSocketNotifier>

#include <algorithm>
#include <iostream>

namespace tessaly {
namespace {

/// The interval in force, as the log tells it.
std::string IntervalText(const BasicSettings& settings)
{
    return ReadCheckedSettings(settings).intervalMinutes
               ? " (Conf_Interval " + settings.Conf_Interval + ")"
               : "; no check interval is set, so nothing is checked until one is";
}

} // namespace

int RunHeadlessProgram(QCoreApplication& app, const std::string& folder, std::chrono::milliseconds minute)
{
    StreamMessages messages(std::cerr);
    HeadlessBalloon balloon(std::cout);
    SystemClock clock;
    ResidentData data{folder, {}, {}};
    LoadResidentSettings(data, std::cerr);
    LoadResidentSubscriptions(data, messages);
    // Skipped folders go to the log at every run, like everything else here;
    // a data folder others may write stops every run but is told once.
    bool toldUntrustedFolder = false;
    const RunMemory memory{nullptr, &toldUntrustedFolder};
    std::atomic<bool> ending{false};
    // Before each run the records take in what others wrote to the files.
    std::function<void()> followFiles;
    CheckDriver* checks = nullptr;
    // Runs work on a thread of their own, as on the desktop, so that the
    // feed and a stop signal are served while one is in progress.
    const std::unique_ptr<CheckRunner> runner = CheckRunner::InBackground([&](RowMask rows) {
        if (followFiles)
            followFiles();
        return MakeBackgroundCheck(data, balloon, messages, clock, memory, nullptr, rows, &ending,
                                   checks ? checks->holdBack() : std::vector<uint64_t>{});
    });
    // The rows watched live go to the log as they change.
    CheckDriver driver(
        data, messages, *runner, minute, [] { return true; },
        [](const std::string& summary) {
            if (!summary.empty())
                std::cerr << "tessaly: " << summary << std::endl;
        });
    checks = &driver;
    // After every run, the mails that wait to be sent again, when that changed.
    size_t waiting = 0;
    const auto tellWaiting = [&] {
        const size_t now = Outbox(folder).list().size();
        if (now != waiting)
            std::cerr << "tessaly: " << now << " mail(s) wait in the outbox (tessalyctl outbox)" << std::endl;
        waiting = now;
    };
    QObject::connect(runner.get(), &CheckRunner::runningChanged, [&tellWaiting](bool running) {
        TestTrace(running ? "check started" : "check ended");
        if (!running)
            tellWaiting();
    });
    tellWaiting();
    driver.apply();
    // Settings and subscriptions written with tessalyctl apply at once.
    DataFileFollower follower(data, std::cerr);
    followFiles = [&] {
        const DataFileFollower::Changes changes = follower.refresh();
        if (changes.settings)
            std::cerr << "tessaly: settings taken in" << IntervalText(data.settings) << std::endl;
        if (changes)
            driver.apply();
    };
    std::unique_ptr<QSocketNotifier> watch;
    if (follower.fd() >= 0) {
        watch = std::make_unique<QSocketNotifier>(follower.fd(), QSocketNotifier::Read);
        QObject::connect(watch.get(), &QSocketNotifier::activated, &app, [&followFiles] { followFiles(); });
    }
    QSocketNotifier stop(StopSignals::Install().fd(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    // `tessalyctl balloon` reaches this program as it reaches the desktop
    // one; a request for the main window is refused, there is none.
    auto feed = std::make_unique<BalloonFeed>(folder, [&balloon](const QString& title, const QString& text) {
        balloon.SetBalloonTitle(title.toStdString());
        balloon.SetBalloonText(text.toStdString());
    });

    std::cerr << "tessaly: running headless on " << folder << IntervalText(data.settings) << std::endl;
    const SubscriptionTable& table = data.subscriptions;
    if (std::none_of(table.begin(), table.end(), [](const Subscription& row) { return row.inUse(); }))
        std::cerr << "tessaly: nothing is subscribed yet; add a subscription with: tessalyctl --dir " << folder
                  << " subs set 1 Name NAME, then: tessalyctl --dir " << folder << " subs set 1 Folder FOLDER"
                  << std::endl;
    const int status = app.exec();
    // The end: nobody is answered any more, and a run in progress is
    // cancelled, keeping what it recorded in the history.
    feed.reset();
    driver.stop();
    watch.reset();
    followFiles = nullptr;
    EndBackgroundRuns(*runner, ending, status);
    std::cerr << "tessaly: stopped" << std::endl;
    return status;
}

} // namespace tessaly

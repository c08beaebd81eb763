// SPDX-License-Identifier: MIT
#include "resident/TrayProgram.h"

#include "common/Clock.h"
#include "common/FileSystem.h"
#include "notify/Outbox.h"
#include "resident/BackgroundCheck.h"
#include "resident/BalloonFeed.h"
#include "resident/CheckRunner.h"
#include "resident/DataFileFollower.h"
#include "resident/FormStart.h"
#include "resident/ProgramVersion.h"
#include "resident/QtInputBox.h"
#include "resident/QtUserMessages.h"
#include "resident/ResidentData.h"
#include "resident/ResidentOptions.h"
#include "resident/RunNotices.h"
#include "resident/ShippedIcon.h"
#include "resident/StopSignals.h"
#include "resident/TrayBalloon.h"
#include "traycontrol/TrayIcon.h"

#include <QBuffer>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QSocketNotifier>

#include <atomic>
#include <iostream>
#include <set>

namespace tessaly {
namespace {

/// Every picture of the icon file, read through the regular-file check
/// (a QIcon made from the path would open whatever is there, later).
QIcon WindowIcon(const std::string& folder)
{
    QIcon icon;
    std::string bytes;
    if (!ReadWholeFile(JoinPath(folder, kIconFileName), &bytes, nullptr, kIconFileLimit))
        return icon;
    QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    do {
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}

} // namespace

int RunTrayProgram(QApplication& app, const std::string& folder, std::chrono::milliseconds minute,
                   const MakeChildWindows& makeWindows)
{
    app.setQuitOnLastWindowClosed(false);
    QtUserMessages messages;
    QtInputBox input;
    SystemClock clock;
    ResidentData data{folder, {}, {}};

    lumitray::TrayIcon control(QStringLiteral("Lumitray1"));
    TrayBalloon balloon(control);
    // Each folder that cannot be read is told once while the program runs,
    // in a box, not at every run.
    std::set<std::string> toldSkippedFolders;
    const RunMemory memory{&toldSkippedFolders};
    // Set as the program ends: a run in progress stops at its next step.
    std::atomic<bool> ending{false};
    // Before each run the records take in what others wrote to the files.
    std::function<void()> followFiles;
    std::unique_ptr<RunNotices> notices;
    // Live watching starts runs that leave out documents still changing.
    CheckDriver* live = nullptr;
    // Runs work on a thread of their own, so no walk or mail server ever
    // holds up the windows, and what they report never holds up a run.
    const std::unique_ptr<CheckRunner> runner = CheckRunner::InBackground([&](RowMask rows) {
        if (followFiles)
            followFiles();
        return MakeBackgroundCheck(data, balloon, *notices, clock, memory, nullptr, rows, &ending,
                                   live ? live->holdBack() : std::vector<uint64_t>{});
    });
    CheckRunner& checkRunner = *runner;
    notices = std::make_unique<RunNotices>(checkRunner);
    // A sign-in to renew is told by the balloon, which says where; with
    // balloons off, in a window.
    notices->setSignInNotice([&balloon, &data](std::string_view) {
        if (!IsOn(data.settings.Conf_Balloon))
            return false;
        balloon.SetBalloonTitle("ﾒｰﾙを送信できません");
        balloon.SetBalloonText("OAuth 2.0 のサインインが必要です。設定画面からサインインしてください。");
        return true;
    });
    QObject::connect(&checkRunner, &CheckRunner::runningChanged,
                     [](bool running) { TestTrace(running ? "check started" : "check ended"); });
    // The windows are made before the resident window they report to.
    FormStart* resident = nullptr;
    const auto applySettings = [&resident] {
        if (resident)
            resident->applySettings();
    };
    const auto applySubscriptions = [&resident] {
        if (resident)
            resident->applySubscriptions();
    };
    WindowContext context{data, messages, checkRunner, clock};
    context.settingsSaved = applySettings;
    context.subscriptionsSaved = applySubscriptions;
    const std::unique_ptr<ChildWindowFactory> windows = makeWindows(context);
    FormStart form({control, data, messages, input, checkRunner, *windows, clock}, minute);
    resident = &form;
    form.setEndProgram([] { QCoreApplication::quit(); });
    live = &form.checks();
    if (!form.load())
        return 1;
    // The tool tip tells the mails that wait to be sent again.
    const auto countWaiting = [&form, &folder] { form.setWaitingMails(Outbox(folder).list().size()); };
    QObject::connect(&checkRunner, &CheckRunner::runningChanged, &form, [countWaiting](bool running) {
        if (!running)
            countWaiting();
    });
    countWaiting();
    // Settings and subscriptions written by anyone else (tessalyctl, a copy)
    // apply at once.
    DataFileFollower follower(data, std::cerr);
    followFiles = [&] {
        const DataFileFollower::Changes changes = follower.refresh();
        if (changes.settings)
            applySettings();
        if (changes.subscriptions)
            applySubscriptions();
        if (changes)
            TestTrace("data files taken in");
    };
    std::unique_ptr<QSocketNotifier> watch;
    if (follower.fd() >= 0) {
        watch = std::make_unique<QSocketNotifier>(follower.fd(), QSocketNotifier::Read);
        QObject::connect(watch.get(), &QSocketNotifier::activated, &app, [&followFiles] { followFiles(); });
    }
    // The windows carry the tray's icon.
    app.setWindowIcon(WindowIcon(folder));

    // SIGTERM and SIGINT end the loop like 終了する: the icon goes away cleanly.
    QSocketNotifier stop(StopSignals::Install().fd(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    BalloonFeed feed(folder, [&form](const QString& title, const QString& text) { form.setFeedTexts(text, title); });
    // A second start on the same folder asks for the main window.
    feed.setShowWindow([&form] { form.openMainWindow(); });
    const int status = app.exec();
    // The end: the icon goes at once and nothing is shown any more; a run
    // in progress is cancelled (a mail being sent included) and ends at its
    // next step, keeping what it recorded in the history.
    control.vanish();
    notices->mute();
    form.checks().stop();
    live = nullptr;
    watch.reset();
    followFiles = nullptr;
    EndBackgroundRuns(checkRunner, ending, status);
    return status;
}

} // namespace tessaly

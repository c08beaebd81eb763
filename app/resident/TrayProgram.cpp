// SPDX-License-Identifier: MIT
#include "resident/TrayProgram.h"

#include "common/Clock.h"
#include "common/FileSystem.h"
#include "resident/BalloonFeed.h"
#include "resident/CheckRunWiring.h"
#include "resident/CheckRunner.h"
#include "resident/FormStart.h"
#include "resident/LumitrayHost.h"
#include "resident/ProgramVersion.h"
#include "resident/QtInputBox.h"
#include "resident/QtUserMessages.h"
#include "resident/ResidentData.h"
#include "resident/ShippedIcon.h"
#include "resident/StopSignals.h"
#include "resident/TrayBalloon.h"
#include "windows/FormWindowFactory.h"

#include <QIcon>
#include <QSocketNotifier>

#include <iostream>

namespace tessaly {

int RunTrayProgram(QApplication& app, const std::string& folder, std::chrono::milliseconds minute)
{
    app.setQuitOnLastWindowClosed(false);
    QtUserMessages messages;
    QtInputBox input;
    SystemClock clock;
    ResidentData data{folder, {}, {}};

    QString error;
    std::unique_ptr<LumitrayHost> control = LumitrayHost::Create(&error);
    if (!control) {
        std::cerr << "tessaly: " << error.toStdString() << std::endl;
        messages.ShowMessage(kStartupFailureMessage);
        return 1;
    }
    TrayBalloon balloon(*control);
    CheckRunner checkRunner(MakeCheckRun({data.folder, data.settings, data.subscriptions, balloon, messages, clock, true}));
    FormWindowFactory windows({data, messages, checkRunner, clock});
    FormStart form({*control, data, messages, input, checkRunner, windows, clock}, minute);
    form.setEndProgram([] { QCoreApplication::quit(); });
    control->setEventHandler(
        [&form](lumitray::DispId event, std::int16_t button) { form.controlEvent(event, button); });
    if (!form.load())
        return 1;
    // The windows carry the tray's icon.
    app.setWindowIcon(QIcon(QString::fromStdString(JoinPath(folder, kIconFileName))));

    // SIGTERM and SIGINT end the loop like 終了する: the icon goes away cleanly.
    QSocketNotifier stop(StopSignals::Install().fd(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    BalloonFeed feed(folder, [&form](const QString& title, const QString& text) { form.setFeedTexts(text, title); });
    return app.exec();
}

} // namespace tessaly

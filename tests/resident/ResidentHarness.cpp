// SPDX-License-Identifier: MIT
#include "ResidentHarness.h"

#include "resident/ShippedIcon.h"
#include "traycontrol/WindowTable.h"

#include <QTest>

namespace tessaly::test {

ResidentHarness::ResidentHarness(const FolderSetup& setup)
{
    std::string error;
    if (setup.writeSettings && !SaveBasicSettings(setup.settings, folder.path(), &error))
        qFatal("cannot write the settings: %s", error.c_str());
    if (setup.shippedIcon && !InstallShippedIcon(folder.path(), &error))
        qFatal("cannot write the icon: %s", error.c_str());
    if (!setup.subscriptionFile.empty())
        WriteFile(folder.file("subscription.dat"), setup.subscriptionFile);

    data.folder = folder.path();
    windows = std::make_unique<PlaceholderWindowFactory>(WindowContext{data, messages, runner, clock, [this] {
                                                                           if (form)
                                                                               form->applySettings();
                                                                       }});
    form = std::make_unique<FormStart>(FormStart::Parts{icon, data, messages, input, runner, *windows, clock}, kMinute);
    form->setEndProgram([this] { ++ends; });
}

ResidentHarness::~ResidentHarness()
{
    form.reset();
    // Windows closed by the test are deleted later; let that happen here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ResidentHarness::shellCallback(std::int32_t code)
{
    if (shell.calls.empty())
        qFatal("the icon never reached the notification area");
    const lumitray::TrayIconRequest& request = shell.calls.front().data;
    lumitray::WindowTable::instance().send(request.window, request.callbackMessage,
                                           static_cast<std::uintptr_t>(request.id), code);
}

void ResidentHarness::tickIfRunning()
{
    if (form->checks().timerRunning())
        form->checks().tick();
}

} // namespace tessaly::test

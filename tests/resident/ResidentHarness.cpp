// SPDX-License-Identifier: MIT
#include "ResidentHarness.h"

#include "resident/ShippedIcon.h"
#include "traycontrol/Lumitray.h"
#include "traycontrol/WindowTable.h"
#include "traycontrol/basTaskTray.h"

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

    QString hostError;
    host = LumitrayHost::Create(&hostError);
    if (!host)
        qFatal("no tray control: %s", qPrintable(hostError));
    control = std::make_unique<RecordingControl>(*host, log);
    data.folder = folder.path();
    windows = std::make_unique<PlaceholderWindowFactory>(WindowContext{data, messages, runner, clock, [this] {
                                                                           if (form)
                                                                               form->applySettings();
                                                                       }});
    form = std::make_unique<FormStart>(FormStart::Parts{*control, data, messages, input, runner, *windows, clock},
                                       kMinute);
    form->setEndProgram([this] { ++ends; });
    host->setEventHandler([this](lumitray::DispId event, std::int16_t button) { form->controlEvent(event, button); });
}

ResidentHarness::~ResidentHarness()
{
    host->setEventHandler({});
    form.reset();
    // Windows closed by the test are deleted later; let that happen here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ResidentHarness::shellCallback(std::int32_t code)
{
    lumitray::Lumitray& control = host->control();
    lumitray::WindowTable::instance().send(control.window(), lumitray::basTaskTray::CallbackMessage(),
                                           static_cast<std::uintptr_t>(control.iconId()), code);
}

void ResidentHarness::tickIfRunning()
{
    if (form->checks().timerRunning())
        form->checks().tick();
}

} // namespace tessaly::test

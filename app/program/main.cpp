// SPDX-License-Identifier: MIT
// tessaly: the resident program. It lives in the notification area of the
// desktop, or headless when there is none (or when asked to).
#include "common/DataFolder.h"
#include "common/ProcessLimits.h"
#include "resident/DesktopNotice.h"
#include "resident/FormStart.h"
#include "resident/HeadlessProgram.h"
#include "resident/InstanceLock.h"
#include "resident/OpenDesktop.h"
#include "resident/ProgramVersion.h"
#include "resident/QtUserMessages.h"
#include "resident/ResidentOptions.h"
#include "resident/ShippedIcon.h"
#include "resident/StopSignals.h"
#include "resident/TrayProgram.h"
#include "windows/FormWindowFactory.h"

#include <iostream>
#include <memory>

using namespace tessaly;

int main(int argc, char** argv)
{
    PrepareProcessLimits();
    StopSignals::Install();
    ResidentOptions options;
    std::string error;
    if (!ParseResidentOptions({argv + 1, argv + argc}, &options, &error)) {
        std::cerr << "tessaly: " << error << '\n' << ResidentUsage();
        return 2;
    }
    if (options.help || options.version) {
        std::cout << (options.help ? ResidentUsage() : VersionCaption() + "\n");
        return 0;
    }

    std::unique_ptr<QApplication> app;
    if (!options.headless && !(app = OpenDesktop(argc, argv)))
        std::cerr << "tessaly: no display can be opened; running headless" << std::endl;

    const std::optional<std::string> folder = ResolveDataFolder(CurrentDataFolderInputs(options.folder), &error);
    if (!folder) {
        std::cerr << "tessaly: " << error << std::endl;
        if (app)
            QtUserMessages().ShowMessage(std::string(kStartupFailureMessage) + "\r\n" + error);
        return 1;
    }
    const auto refuse = [&app](const std::string& text) {
        std::cerr << "tessaly: " << text << std::endl;
        if (app && !TestTracing())
            QtUserMessages().ShowMessage(text);
    };
    // Data files in a folder someone else can change are not to be trusted.
    if (const DataFolderTrust trust = CheckDataFolderTrust(*folder); trust != DataFolderTrust::Trusted) {
        refuse(DataFolderRefusal(trust, *folder));
        return 1;
    }
    // One copy per data folder; a second desktop start brings up the
    // first one's window instead. The lock lasts until the program ends.
    const InstanceLock::Mode mode = app ? InstanceLock::Mode::Desktop : InstanceLock::Mode::Headless;
    InstanceLock lock(*folder);
    switch (lock.acquire(mode)) {
    case InstanceLock::Outcome::Held: break;
    case InstanceLock::Outcome::Failed: refuse(lock.error()); return 1;
    case InstanceLock::Outcome::HeldByAnother: {
        // Said in passing: a login that starts the desktop program while
        // the user service runs must not wait on a message box.
        const auto notify = [](const std::string& text) {
            std::cerr << "tessaly: " << text << std::endl;
            ShowDesktopNotice(text);
        };
        if (const std::optional<int> status = HandOverToRunningCopy(lock, mode, *folder, refuse, notify))
            return *status;
        break;
    }
    }
    // A new data folder gets the program's icon; a folder whose icon cannot
    // be written ends a desktop start-up when the icon is loaded.
    if (!InstallShippedIcon(*folder, &error))
        std::cerr << "tessaly: " << error << std::endl;

    if (app)
        return RunTrayProgram(*app, *folder, MinuteLength(), [](const WindowContext& context) {
            return std::make_unique<FormWindowFactory>(context);
        });
    QCoreApplication headless(argc, argv);
    return RunHeadlessProgram(headless, *folder, MinuteLength());
}

// SPDX-License-Identifier: MIT
#pragma once
// The resident window on the real tray control, with everything around it
// recorded or answered by the test.

#include "ResidentDoubles.h"
#include "support/FixedClock.h"
#include "support/TempFolder.h"

#include "PlaceholderWindowFactory.h"
#include "resident/CheckRunner.h"
#include "resident/FormStart.h"
#include "resident/ResidentData.h"
#include "traycontrol/TrayIcon.h"

#include <chrono>
#include <memory>

namespace tessaly::test {

/// What the data folder holds before start-up.
struct FolderSetup {
    BasicSettings settings;
    bool writeSettings = true;
    bool shippedIcon = true;
    /// Written as it is when not empty; one subscription by default (a
    /// folder without one opens the subscription editor at start-up).
    std::string subscriptionFile = "Docs,,/tmp,*.txt,0,,,\r\n";
};

class ResidentHarness final {
public:
    static constexpr std::chrono::milliseconds kMinute{60000};

    explicit ResidentHarness(const FolderSetup& setup = {});
    ~ResidentHarness();

    /// Runs start-up and gives its result.
    bool load() { return form->load(); }
    /// The shell reports a user action (a callback code) on the icon it was
    /// asked to add.
    void shellCallback(std::int32_t code);
    /// One timer tick when the timer runs, nothing otherwise (as a timer would).
    void tickIfRunning();

    TempFolder folder;
    QStringList log;
    ShellRecorder shell{log};
    lumitray::TrayIcon icon{QStringLiteral("Lumitray1")};
    LoggingMessages messages{log};
    ScriptedInputBox input{log};
    int runs = 0;
    CheckRunner runner{[this] {
        ++runs;
        return true;
    }};
    ResidentData data;
    FixedClock clock;
    std::unique_ptr<PlaceholderWindowFactory> windows;
    std::unique_ptr<FormStart> form;
    int ends = 0;
};

} // namespace tessaly::test

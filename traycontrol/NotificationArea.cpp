// SPDX-License-Identifier: MIT
#include "traycontrol/NotificationArea.h"

#include "traycontrol/QtNotificationArea.h"

#include <QCoreApplication>

namespace lumitray {
namespace {

std::unique_ptr<NotificationArea>& Installed()
{
    static std::unique_ptr<NotificationArea> area;
    return area;
}

/// The desktop's notification area goes with the application object: its
/// tray icons must not outlive it.
void ReleaseDesktopArea()
{
    Installed().reset();
}

} // namespace

bool ShellNotifyIcon(std::uint32_t operation, std::span<const std::uint8_t> record)
{
    std::unique_ptr<NotificationArea>& area = Installed();
    if (!area) {
        area = std::make_unique<QtNotificationArea>();
        if (QCoreApplication::instance())
            qAddPostRoutine(&ReleaseDesktopArea);
    }
    return area->notifyIcon(operation, record);
}

std::unique_ptr<NotificationArea> SetNotificationArea(std::unique_ptr<NotificationArea> area)
{
    std::unique_ptr<NotificationArea> previous = std::move(Installed());
    Installed() = std::move(area);
    return previous;
}

} // namespace lumitray

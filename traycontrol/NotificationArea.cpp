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

NotificationArea& AreaInUse()
{
    std::unique_ptr<NotificationArea>& area = Installed();
    if (!area) {
        area = std::make_unique<QtNotificationArea>();
        if (QCoreApplication::instance())
            qAddPostRoutine(&ReleaseDesktopArea);
    }
    return *area;
}

} // namespace

void NotificationArea::setIconMenu(WindowHandle, std::int32_t, QMenu*) {}

bool ShellNotifyIcon(std::uint32_t operation, const TrayIconRequest& request)
{
    return AreaInUse().notifyIcon(operation, request);
}

void SetNotifyIconMenu(WindowHandle window, std::int32_t id, QMenu* menu)
{
    AreaInUse().setIconMenu(window, id, menu);
}

std::unique_ptr<NotificationArea> SetNotificationArea(std::unique_ptr<NotificationArea> area)
{
    std::unique_ptr<NotificationArea> previous = std::move(Installed());
    Installed() = std::move(area);
    return previous;
}

} // namespace lumitray

// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/WindowTable.h"

#include <cstdint>
#include <memory>
#include <span>

class QMenu;

namespace lumitray {

/// The notification-area function: receives the complete notification-icon
/// record (488 or 88 bytes) for add, modify and delete, and reports user
/// actions back to the record's window as its callback message.
class NotificationArea {
public:
    virtual ~NotificationArea() = default;
    /// Carries out `operation` (NIM_ADD, NIM_MODIFY, NIM_DELETE) for the
    /// icon the record describes. Returns false when it could not.
    virtual bool notifyIcon(std::uint32_t operation, std::span<const std::uint8_t> record) = 0;
    /// Offers `menu` as the menu of the icon `id` of `window`, for tray hosts
    /// that draw an icon's menu themselves instead of telling the program
    /// about a right click. Where the host does not, the right click still
    /// comes back as the callback message and the window shows its menu;
    /// this one does nothing there. The area shows the menu's actions and
    /// never shows or owns `menu` itself; nullptr withdraws it. May come
    /// before or after the icon is added. UI thread only.
    virtual void setIconMenu(WindowHandle window, std::int32_t id, QMenu* menu);
};

/// Hands the record to the notification area in use: the one installed by
/// `SetNotificationArea`, else the desktop's, created on first use.
bool ShellNotifyIcon(std::uint32_t operation, std::span<const std::uint8_t> record);

/// Offers `menu` to the notification area in use as the menu of the icon
/// `id` of `window` (see `NotificationArea::setIconMenu`).
void SetNotifyIconMenu(WindowHandle window, std::int32_t id, QMenu* menu);

/// Installs `area` as the notification area of the process and returns the
/// one it replaces; nullptr goes back to the desktop's. UI thread only.
std::unique_ptr<NotificationArea> SetNotificationArea(std::unique_ptr<NotificationArea> area);

} // namespace lumitray

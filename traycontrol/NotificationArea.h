// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <span>

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
};

/// Hands the record to the notification area in use: the one installed by
/// `SetNotificationArea`, else the desktop's, created on first use.
bool ShellNotifyIcon(std::uint32_t operation, std::span<const std::uint8_t> record);

/// Installs `area` as the notification area of the process and returns the
/// one it replaces; nullptr goes back to the desktop's. UI thread only.
std::unique_ptr<NotificationArea> SetNotificationArea(std::unique_ptr<NotificationArea> area);

} // namespace lumitray

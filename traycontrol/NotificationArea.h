// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/WindowTable.h"

#include <QString>

#include <cstdint>
#include <memory>

class QMenu;

namespace lumitray {

/// Operations of the notification-area function.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

/// Request flags: which fields are valid.
inline constexpr std::uint32_t NIF_MESSAGE = 0x01;
inline constexpr std::uint32_t NIF_ICON = 0x02;
inline constexpr std::uint32_t NIF_TIP = 0x04;
inline constexpr std::uint32_t NIF_INFO = 0x10;

/// Balloon flags: the icon kind in the low bits, and no sound.
inline constexpr std::uint32_t NIIF_ICON_MASK = 0x0F;
inline constexpr std::uint32_t NIIF_NOSOUND = 0x10;

/// Callback codes (the lParam of the callback message).
inline constexpr std::int32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::int32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::int32_t WM_LBUTTONUP = 0x202;
inline constexpr std::int32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::int32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::int32_t WM_RBUTTONUP = 0x205;
inline constexpr std::int32_t WM_RBUTTONDBLCLK = 0x206;
inline constexpr std::int32_t WM_MBUTTONDOWN = 0x207;
inline constexpr std::int32_t WM_MBUTTONUP = 0x208;
inline constexpr std::int32_t WM_MBUTTONDBLCLK = 0x209;
inline constexpr std::int32_t NIN_BALLOONSHOW = 0x402;
inline constexpr std::int32_t NIN_BALLOONHIDE = 0x403;
inline constexpr std::int32_t NIN_BALLOONTIMEOUT = 0x404;
inline constexpr std::int32_t NIN_BALLOONUSERCLICK = 0x405;

/// The most characters (code points) each text of a request holds; a longer
/// text is cut on a character boundary before it is sent. They are the
/// text fields of the Windows record less their terminating zero.
namespace TrayIconLimits {
inline constexpr qsizetype TipCharacters = 127;
/// A shell too old for balloons takes the short tool tip.
inline constexpr qsizetype OldShellTipCharacters = 63;
inline constexpr qsizetype InfoCharacters = 255;
inline constexpr qsizetype InfoTitleCharacters = 63;
} // namespace TrayIconLimits

/// What add, modify and delete of one icon tell the notification area. The
/// texts are Unicode within `TrayIconLimits`; a back end that needs another
/// form (the Windows shell's byte record, see TrayIconRecord.h) makes it.
struct TrayIconRequest final {
    WindowHandle window = 0;
    std::int32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    std::int32_t icon = 0;
    QString tip;
    /// Balloon fields; only meaningful when `flags` has NIF_INFO.
    QString info;
    /// Seconds, as the control stores them.
    std::uint32_t timeOut = 0;
    QString infoTitle;
    std::uint32_t infoFlags = 0;
};

/// The notification-area function: receives the complete request for add,
/// modify and delete, and reports user actions back to the request's window
/// as its callback message.
class NotificationArea {
public:
    virtual ~NotificationArea() = default;
    /// Carries out `operation` (NIM_ADD, NIM_MODIFY, NIM_DELETE) for the
    /// icon the request describes. Returns false when it could not.
    virtual bool notifyIcon(std::uint32_t operation, const TrayIconRequest& request) = 0;
    /// Offers `menu` as the menu of the icon `id` of `window`, for tray hosts
    /// that draw an icon's menu themselves instead of telling the program
    /// about a right click. Where the host does not, the right click still
    /// comes back as the callback message and the window shows its menu;
    /// this one does nothing there. The area shows the menu's actions and
    /// never shows or owns `menu` itself; nullptr withdraws it. May come
    /// before or after the icon is added. UI thread only.
    virtual void setIconMenu(WindowHandle window, std::int32_t id, QMenu* menu);
};

/// Hands the request to the notification area in use: the one installed by
/// `SetNotificationArea`, else the desktop's, created on first use.
bool ShellNotifyIcon(std::uint32_t operation, const TrayIconRequest& request);

/// Offers `menu` to the notification area in use as the menu of the icon
/// `id` of `window` (see `NotificationArea::setIconMenu`).
void SetNotifyIconMenu(WindowHandle window, std::int32_t id, QMenu* menu);

/// Installs `area` as the notification area of the process and returns the
/// one it replaces; nullptr goes back to the desktop's. UI thread only.
std::unique_ptr<NotificationArea> SetNotificationArea(std::unique_ptr<NotificationArea> area);

} // namespace lumitray

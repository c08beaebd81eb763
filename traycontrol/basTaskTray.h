// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"
#include "traycontrol/IconTable.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/WindowTable.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lumitray {

class Picture;

/// The fields of a control that the request routines read.
struct TrayIconFields final {
    Boolean isNewVersion = False;
    std::int32_t iconId = 0;
    WindowHandle window = 0;
    std::shared_ptr<Picture> icon;
    ImageHandle iconHandle = 0;
    QString toolTipText;
    Boolean balloon = False;
    QString balloonTitle;
    QString balloonText;
    std::int32_t balloonIcon = 0;
    Boolean balloonSound = True;
    std::int32_t balloonTimeOut = 3;
};

/// The system's basic version record.
struct OsVersionInfo final {
    /// 2 for the NT platform.
    std::uint32_t platformId = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
};

/// Request filling, shell calls, version test, callback message and atoms.
/// All routines run on the UI thread; the callback message number is kept
/// per thread.
namespace basTaskTray {

inline constexpr char CallbackMessageName[] = "LumitrayControl_PresentedBy_Pemberd_Lumitry";

/// The request for the control's fields: the tool tip, and on a shell that
/// shows balloons (`isNewVersion`) the balloon when it is on, with the texts
/// cut to `TrayIconLimits` on a character boundary.
TrayIconRequest FillRequest(const TrayIconFields& fields);

/// Sends the complete request with add, modify or delete. The shell's result
/// is not examined.
void AddTrayIcon(const TrayIconFields& fields);
void ModifyTrayIcon(const TrayIconFields& fields);
void DeleteTrayIcon(const TrayIconFields& fields);

/// Registers the callback message name and keeps its number for this thread;
/// returns it (the same for every caller in the process).
std::uint32_t RegisterCallbackMessage();
/// The number kept by the last `RegisterCallbackMessage` on this thread, 0
/// before it.
std::uint32_t CallbackMessage();

/// The version test: NT 5 or later show balloons and the long tool tip.
/// False when the version is unknown.
Boolean GetIsNewVersion(const std::optional<OsVersionInfo>& version);
/// The version test for the running system.
Boolean GetIsNewVersion();
/// Replaces the system version query (for tests); an empty function goes
/// back to the real one.
void SetVersionQuery(std::function<std::optional<OsVersionInfo>()> query);

/// Adds `name` to the global atom table; 0 on failure.
std::uint16_t AddIconAtom(const QString& name);
/// Deletes the atom of `iconId` from the global atom table and sets
/// `iconId` to 0.
void DeleteIconAtom(std::int32_t& iconId);

} // namespace basTaskTray
} // namespace lumitray

// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"
#include "traycontrol/Variant.h"

#include <span>

class QMenu;

namespace tessaly {

/// The tray icon control as the resident program reaches it: late-bound,
/// by dispatch identifier, plus the tray menu handed to the desktop. The
/// real one is a `LumitrayHost`; tests put a recorder in front of it. UI
/// thread only.
class TrayControl {
public:
    virtual ~TrayControl() = default;

    /// Calls member `id` the way `kind` says. A put's new value is the last
    /// argument; `result` receives a get's value. Returns the control's status.
    virtual lumitray::HResult invoke(lumitray::DispId id, lumitray::DispatchKind kind,
                                     std::span<lumitray::Variant> arguments, lumitray::Variant* result) = 0;

    /// Assigns a property by value.
    lumitray::HResult put(lumitray::DispId id, lumitray::Variant value);
    /// Assigns a property by reference (the `Icon` picture).
    lumitray::HResult putRef(lumitray::DispId id, lumitray::Variant value);
    /// Reads a property into `value`.
    lumitray::HResult get(lumitray::DispId id, lumitray::Variant* value);
    /// Calls a method without arguments.
    lumitray::HResult call(lumitray::DispId id);

    /// Offers the tray menu to tray hosts that draw an icon's menu
    /// themselves; elsewhere the right click still raises MouseDown and the
    /// program shows the menu. `menu` stays the caller's and may go away
    /// first. The default does nothing: a control without a desktop has no
    /// host to draw it.
    virtual void setMenu(QMenu* menu);
};

} // namespace tessaly

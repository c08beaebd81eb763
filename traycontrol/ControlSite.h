// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"
#include "traycontrol/Variant.h"

#include <QString>

#include <cstdint>
#include <span>

namespace lumitray {

/// Error number the container reports when the control is not a member of a
/// control array and so has no index.
inline constexpr std::int32_t ErrorNotAnArray = 343;

/// What the container that hosts a control offers it: ambient user mode,
/// the extender's name and index, change reports, its size, and messages.
class ControlSite {
public:
    virtual ~ControlSite() = default;
    /// True while the host program runs; false while it is being designed.
    virtual bool userMode() const = 0;
    /// The name the host gave the control, for example "Lumitray1".
    virtual QString extenderName() const = 0;
    /// The control's index in its control array. Returns 0 and sets `index`
    /// on success, ErrorNotAnArray when the control is no array member, or
    /// another error number.
    virtual std::int32_t extenderIndex(std::int32_t* index) const = 0;
    /// The control reports a change of property `name`.
    virtual void propertyChanged(const QString& name) { Q_UNUSED(name); }
    /// The control sets its own size, in twips.
    virtual void setExtent(std::int32_t widthTwips, std::int32_t heightTwips)
    {
        Q_UNUSED(widthTwips);
        Q_UNUSED(heightTwips);
    }
    /// Shows a modal message with the critical-error symbol and an OK
    /// button. The default shows a message box (or writes to standard error
    /// when the process has no widgets).
    virtual void showCriticalMessage(const QString& text);
};

/// The container's property bag. Keys are compared exactly.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    /// The stored value of `key`, or `defaultValue` when none is stored.
    virtual Variant read(const QString& key, const Variant& defaultValue) const = 0;
    /// Stores `value` under `key`; a value equal to `defaultValue` may be
    /// left out.
    virtual void write(const QString& key, const Variant& value, const Variant& defaultValue) = 0;
};

/// Receives the control's events, synchronously, on the UI thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    /// Event `id` (1 to 7) was raised; `arguments` holds the `Button`
    /// argument (by reference) for the mouse events and is empty otherwise.
    virtual void invoke(DispId id, std::span<Variant> arguments) = 0;
};

} // namespace lumitray

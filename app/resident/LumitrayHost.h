// SPDX-License-Identifier: MIT
#pragma once

#include "resident/TrayControl.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace lumitray {
class ControlSite;
class Lumitray;
} // namespace lumitray

namespace tessaly {

/// Hosts the one tray icon control of the resident window, `Lumitray1`:
/// creates it by its ProgID on a running container, loads it (which gives
/// it its icon identifier) and passes its events on. Destroying the host
/// terminates the control, which removes the icon. UI thread only; a
/// QApplication must exist before the control's `Show`.
class LumitrayHost final : public TrayControl {
public:
    /// Receives the control's events: the event's identifier and its
    /// `Button` argument (0 for events without one).
    using EventHandler = std::function<void(lumitray::DispId event, std::int16_t button)>;

    /// Creates and loads the control. Gives nullptr with `error` set when the
    /// control cannot be created.
    static std::unique_ptr<LumitrayHost> Create(QString* error);
    ~LumitrayHost() override;

    lumitray::HResult invoke(lumitray::DispId id, lumitray::DispatchKind kind, std::span<lumitray::Variant> arguments,
                             lumitray::Variant* result) override;
    /// Offers `menu` to the notification area as the menu of the control's icon.
    void setMenu(QMenu* menu) override;

    /// Sets the receiver of the events (replacing the previous one).
    void setEventHandler(EventHandler handler);
    /// The control itself, for what the dispatch interface does not offer
    /// (its window and icon identifier, in tests).
    lumitray::Lumitray& control() { return *m_control; }

private:
    class Sink;
    LumitrayHost();

    std::unique_ptr<lumitray::ControlSite> m_site;
    std::unique_ptr<Sink> m_sink;
    std::unique_ptr<lumitray::Lumitray> m_control;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"
#include "traycontrol/ControlSite.h"
#include "traycontrol/TypeInfo.h"
#include "traycontrol/Variant.h"
#include "traycontrol/basTaskTray.h"
#include "traycontrol/basWndProc.h"

#include <QImage>
#include <QString>

#include <memory>
#include <span>
#include <vector>

namespace lumitray {

class Picture;

/// The tray icon control: puts one icon into the notification area on behalf
/// of the form that hosts it, shows balloons, and raises mouse and balloon
/// events. Hosts reach its members through `invoke` by dispatch identifier
/// and receive events through an `EventSink`. UI thread only.
///
/// Life cycle: construct with the host's site, then either `initNew` (a new
/// control) or `readProperties` (a loaded one; at run time this registers
/// the icon identifier and hooks the control's window). `terminate` (also
/// run by the destructor) removes the icon and frees the icon handle, the
/// atom and the hook.
class Lumitray final {
public:
    /// Creates the control: computes `IsNewVersion`, registers the callback
    /// message and creates the control's window. `site` must outlive it.
    explicit Lumitray(ControlSite* site);
    ~Lumitray();
    Lumitray(const Lumitray&) = delete;
    Lumitray& operator=(const Lumitray&) = delete;

    /// Number of live controls in the process.
    static int liveObjects();

    /// A new control: defaults, the library's own icon, design-time image.
    void initNew();
    /// Reads the properties in their fixed order, storing values as they are
    /// (no setter checks); at run time registers the identifier and hooks
    /// the window (once).
    void readProperties(const PropertyBag& bag);
    /// Writes the properties in their fixed order with their defaults.
    void writeProperties(PropertyBag& bag) const;
    /// The container resized the control: it snaps back to 32 by 32 pixels.
    void resized();
    /// Unhooks the window, deletes the icon, destroys the icon handle and
    /// deletes the atom, in that order. Safe to call twice.
    void terminate();

    /// Late-bound access by dispatch identifier. Arguments are in declaration
    /// order; a put's new value is the last argument. Returns S_OK,
    /// DISP_E_MEMBERNOTFOUND for an unknown member or kind,
    /// DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH or E_POINTER.
    HResult invoke(DispId id, DispatchKind kind, std::span<Variant> arguments, Variant* result);
    /// Adds a receiver of the events; it must stay alive until removed.
    void advise(EventSink* sink);
    void unadvise(EventSink* sink);

    // Members of the control's interface.
    const std::shared_ptr<Picture>& icon() const { return m_fields.icon; }
    void setIcon(std::shared_ptr<Picture> picture);
    std::int32_t balloonIcon() const { return m_fields.balloonIcon; }
    void setBalloonIcon(std::int32_t value);
    const QString& toolTipText() const { return m_fields.toolTipText; }
    void setToolTipText(const QString& value);
    const QString& balloonTitle() const { return m_fields.balloonTitle; }
    void setBalloonTitle(const QString& value);
    Boolean balloon() const { return m_fields.balloon; }
    void setBalloon(Boolean value);
    Boolean balloonSound() const { return m_fields.balloonSound; }
    void setBalloonSound(Boolean value);
    Boolean autoRefresh() const { return m_autoRefresh; }
    void setAutoRefresh(Boolean value);
    const QString& balloonText() const { return m_fields.balloonText; }
    void setBalloonText(const QString& value);
    Boolean isNewVersion() const { return m_fields.isNewVersion; }
    ImageHandle iconHandle() const { return m_fields.iconHandle; }
    /// Keeps a 16 by 16 copy of `handle`; the caller keeps its own handle.
    void setIconHandle(ImageHandle handle);
    std::int32_t balloonTimeOut() const { return m_fields.balloonTimeOut; }
    /// Stores the value clamped to 3..10.
    void setBalloonTimeOut(std::int32_t value);
    void refresh();
    void show();
    void vanish();
    /// Shows the about dialog modally.
    void about();
    /// Loads a 16 by 16 icon from an icon file as the icon handle (0 when
    /// it cannot be loaded). Takes effect at the next `refresh` or `show`.
    void setIconHandleFromFile(const QString& fileName);
    /// Loads icon resource `id` (a name, "#n" or a number) of `module`.
    /// Returns DISP_E_TYPEMISMATCH when `id` is neither text nor a number.
    HResult setIconHandleFromResource(std::int32_t module, const Variant& id);

    /// The icon identifier registered at load (0 when none).
    std::int32_t iconId() const { return m_fields.iconId; }
    /// The control's own window.
    WindowHandle window() const { return m_fields.window; }
    /// The image a designer shows for the control.
    const QImage& designImage() const { return m_designImage; }

private:
    static std::intptr_t ControlWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam);
    HResult invokeProperty(const MemberInfo& member, DispatchKind kind, std::span<Variant> arguments, Variant* result);
    HResult invokeMethod(DispId id, std::span<Variant> arguments);
    void onKeyPress(TrayEventCode code);
    void raise(DispId event, std::int16_t button = 0);
    void changed(const char* property);
    void refreshIfAuto();
    bool methodsAllowed() const;
    void registerIdentifier();
    void paintDesignImage();

    ControlSite* m_site;
    TrayIconFields m_fields;
    Boolean m_autoRefresh = False;
    bool m_hooked = false;
    bool m_registered = false;
    bool m_terminated = false;
    QImage m_designImage;
    std::vector<EventSink*> m_sinks;
};

} // namespace lumitray

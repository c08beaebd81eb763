// SPDX-License-Identifier: MIT
#include "resident/LumitrayHost.h"

#include "traycontrol/ClassFactory.h"
#include "traycontrol/Lumitray.h"
#include "traycontrol/MemoryPropertyBag.h"
#include "traycontrol/NotificationArea.h"

namespace tessaly {

using namespace lumitray;

namespace {

/// The resident window as the control's container: always running, the
/// control named "Lumitray1" and no member of a control array.
class ResidentSite final : public ControlSite {
public:
    bool userMode() const override { return true; }
    QString extenderName() const override { return QStringLiteral("Lumitray1"); }
    std::int32_t extenderIndex(std::int32_t*) const override { return ErrorNotAnArray; }
};

} // namespace

class LumitrayHost::Sink final : public EventSink {
public:
    void invoke(DispId id, std::span<Variant> arguments) override
    {
        if (!handler)
            return;
        const auto button = static_cast<std::int16_t>(arguments.empty() ? 0 : arguments[0].rawNumber());
        // A copy: the handler may replace itself while it runs.
        EventHandler current = handler;
        current(id, button);
    }
    EventHandler handler;
};

LumitrayHost::LumitrayHost() : m_site(std::make_unique<ResidentSite>()), m_sink(std::make_unique<Sink>()) {}

LumitrayHost::~LumitrayHost()
{
    if (m_control) {
        m_control->unadvise(m_sink.get());
        m_control->terminate();
    }
}

std::unique_ptr<LumitrayHost> LumitrayHost::Create(QString* error)
{
    std::unique_ptr<LumitrayHost> host(new LumitrayHost());
    const HResult status =
        CreateControl(QStringLiteral("LumitrayControl.Lumitray"), host->m_site.get(), &host->m_control);
    if (status != S_OK || !host->m_control) {
        if (error)
            *error = QStringLiteral("the tray icon control cannot be created (status 0x%1)")
                         .arg(static_cast<std::uint32_t>(status), 8, 16, QLatin1Char('0'));
        return nullptr;
    }
    // A loaded control (not a new one) registers its icon identifier.
    host->m_control->readProperties(MemoryPropertyBag());
    host->m_control->advise(host->m_sink.get());
    return host;
}

HResult LumitrayHost::invoke(DispId id, DispatchKind kind, std::span<Variant> arguments, Variant* result)
{
    return m_control->invoke(id, kind, arguments, result);
}

void LumitrayHost::setMenu(QMenu* menu)
{
    SetNotifyIconMenu(m_control->window(), m_control->iconId(), menu);
}

void LumitrayHost::setEventHandler(EventHandler handler)
{
    m_sink->handler = std::move(handler);
}

} // namespace tessaly

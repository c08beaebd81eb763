// SPDX-License-Identifier: MIT
#include "traycontrol/TrayIcon.h"

#include "traycontrol/Lumitray.h"
#include "traycontrol/MemoryPropertyBag.h"
#include "traycontrol/NotificationArea.h"
#include "traycontrol/Picture.h"

namespace lumitray {

/// The program as the control's container: always running, the control
/// named as the program says and no member of a control array. Passes the
/// control's events on as the front's signals.
struct TrayIcon::Host final : ControlSite, EventSink {
    Host(TrayIcon* front, QString name) : m_front(front), m_name(std::move(name)), control(this)
    {
        // A loaded control (not a new one) registers its icon identifier.
        control.readProperties(MemoryPropertyBag());
        control.advise(this);
    }
    ~Host() override { control.unadvise(this); }

    bool userMode() const override { return true; }
    QString extenderName() const override { return m_name; }
    std::int32_t extenderIndex(std::int32_t*) const override { return ErrorNotAnArray; }

    void invoke(DispId id, std::span<Variant> arguments) override
    {
        const auto button = static_cast<Qt::MouseButton>(arguments.empty() ? 0 : arguments[0].rawNumber());
        switch (id) {
        case EventIds::MouseMove: emit m_front->mouseMoved(); break;
        case EventIds::MouseDown: emit m_front->mouseDown(button); break;
        case EventIds::MouseUp: emit m_front->mouseUp(button); break;
        case EventIds::DblClick: emit m_front->doubleClicked(button); break;
        case EventIds::BalloonShow: emit m_front->balloonShown(); break;
        case EventIds::BalloonClick: emit m_front->balloonClicked(); break;
        case EventIds::BalloonClose: emit m_front->balloonClosed(); break;
        default: break;
        }
    }

    TrayIcon* const m_front;
    const QString m_name;
    Lumitray control;
};

TrayIcon::TrayIcon(const QString& name, QObject* parent) : QObject(parent), m_host(std::make_unique<Host>(this, name))
{
}

TrayIcon::~TrayIcon() = default;

QImage TrayIcon::iconFromData(const QByteArray& data)
{
    const ImageHandle handle = LoadIconData(data, 32, 32);
    return handle == 0 ? QImage() : Picture(Picture::Icon, handle).image();
}

QImage TrayIcon::icon() const
{
    const std::shared_ptr<Picture>& picture = m_host->control.icon();
    return picture ? picture->image() : QImage();
}

void TrayIcon::setIcon(const QImage& image)
{
    const ImageHandle handle = IconTable::instance().create(IconTable::Kind::Icon, image);
    m_host->control.setIcon(handle == 0 ? nullptr : std::make_shared<Picture>(Picture::Icon, handle));
}

QString TrayIcon::toolTipText() const
{
    return m_host->control.toolTipText();
}

void TrayIcon::setToolTipText(const QString& text)
{
    m_host->control.setToolTipText(text);
}

bool TrayIcon::balloon() const
{
    return m_host->control.balloon() != False;
}

void TrayIcon::setBalloon(bool on)
{
    m_host->control.setBalloon(on ? True : False);
}

QString TrayIcon::balloonTitle() const
{
    return m_host->control.balloonTitle();
}

void TrayIcon::setBalloonTitle(const QString& title)
{
    m_host->control.setBalloonTitle(title);
}

QString TrayIcon::balloonText() const
{
    return m_host->control.balloonText();
}

void TrayIcon::setBalloonText(const QString& text)
{
    m_host->control.setBalloonText(text);
}

TrayIcon::BalloonIcon TrayIcon::balloonIcon() const
{
    return static_cast<BalloonIcon>(m_host->control.balloonIcon());
}

void TrayIcon::setBalloonIcon(BalloonIcon icon)
{
    m_host->control.setBalloonIcon(static_cast<std::int32_t>(icon));
}

bool TrayIcon::balloonSound() const
{
    return m_host->control.balloonSound() != False;
}

void TrayIcon::setBalloonSound(bool on)
{
    m_host->control.setBalloonSound(on ? True : False);
}

int TrayIcon::balloonTimeOut() const
{
    return m_host->control.balloonTimeOut();
}

void TrayIcon::setBalloonTimeOut(int seconds)
{
    m_host->control.setBalloonTimeOut(seconds);
}

bool TrayIcon::autoRefresh() const
{
    return m_host->control.autoRefresh() != False;
}

void TrayIcon::setAutoRefresh(bool on)
{
    m_host->control.setAutoRefresh(on ? True : False);
}

void TrayIcon::show()
{
    m_host->control.show();
}

void TrayIcon::refresh()
{
    m_host->control.refresh();
}

void TrayIcon::vanish()
{
    m_host->control.vanish();
}

void TrayIcon::setMenu(QMenu* menu)
{
    SetNotifyIconMenu(m_host->control.window(), m_host->control.iconId(), menu);
}

} // namespace lumitray

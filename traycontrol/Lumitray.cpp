// SPDX-License-Identifier: MIT
#include "traycontrol/Lumitray.h"

#include "traycontrol/Picture.h"
#include "traycontrol/frmAbout.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <atomic>

namespace lumitray {
namespace {

constexpr int ControlPixels = 32;
constexpr int IconPixels = 16;
constexpr std::int32_t MinTimeOut = 3;
constexpr std::int32_t MaxTimeOut = 10;

std::atomic<int> g_liveObjects{0};

/// Twips per screen pixel in each direction (15 at 96 dots per inch).
QSize TwipsPerPixel()
{
    const QScreen* screen =
        qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return {15, 15};
    const auto twips = [](qreal dpi) { return dpi > 0 ? qMax(1, qRound(1440.0 / dpi)) : 15; };
    return {twips(screen->logicalDotsPerInchX()), twips(screen->logicalDotsPerInchY())};
}

} // namespace

Lumitray::Lumitray(ControlSite* site) : m_site(site)
{
    ++g_liveObjects;
    m_fields.isNewVersion = basTaskTray::GetIsNewVersion();
    basTaskTray::RegisterCallbackMessage();
    m_fields.window = WindowTable::instance().create(&ControlWindowProc, this);
}

Lumitray::~Lumitray()
{
    terminate();
    WindowTable::instance().destroy(m_fields.window);
    --g_liveObjects;
}

int Lumitray::liveObjects()
{
    return g_liveObjects;
}

void Lumitray::initNew()
{
    m_fields.icon = Picture::fromIconResource(LibraryInstance(), 101);
    paintDesignImage();
}

void Lumitray::readProperties(const PropertyBag& bag)
{
    // Stored values go straight into the fields: no clamp, no type check.
    const auto readLong = [&](const char* key, std::int32_t fallback) {
        std::int32_t value = fallback;
        return bag.read(QLatin1String(key), Variant(fallback)).toLong(&value) ? value : fallback;
    };
    const auto readBoolean = [&](const char* key, Boolean fallback) {
        Boolean value = fallback;
        return bag.read(QLatin1String(key), Variant::fromBooleanValue(fallback)).toBoolean(&value) ? value : fallback;
    };
    const auto readString = [&](const char* key) {
        QString value;
        return bag.read(QLatin1String(key), Variant(QString())).toString(&value) ? value : QString();
    };
    std::shared_ptr<Picture> picture;
    m_fields.icon = bag.read(QStringLiteral("Icon"), Variant()).toPicture(&picture) ? picture : nullptr;
    m_fields.balloonIcon = readLong("BalloonIcon", BalloonIcon_None);
    m_fields.toolTipText = readString("ToolTipText");
    m_fields.balloonTitle = readString("BalloonTitle");
    m_fields.balloon = readBoolean("Balloon", False);
    m_fields.balloonSound = readBoolean("BalloonSound", True);
    m_fields.balloonText = readString("BalloonText");
    m_autoRefresh = readBoolean("AutoRefresh", False);
    m_fields.iconHandle = readLong("IconHandle", 0);
    m_fields.balloonTimeOut = readLong("BalloonTimeOut", MinTimeOut);

    if (m_site->userMode())
        registerIdentifier();
    else
        paintDesignImage();
}

void Lumitray::writeProperties(PropertyBag& bag) const
{
    bag.write(QStringLiteral("Icon"), m_fields.icon ? Variant(m_fields.icon) : Variant(), Variant());
    bag.write(QStringLiteral("BalloonIcon"), Variant(m_fields.balloonIcon), Variant(BalloonIcon_None));
    bag.write(QStringLiteral("ToolTipText"), Variant(m_fields.toolTipText), Variant(QString()));
    bag.write(QStringLiteral("BalloonTitle"), Variant(m_fields.balloonTitle), Variant(QString()));
    bag.write(QStringLiteral("Balloon"), Variant::fromBooleanValue(m_fields.balloon), Variant::fromBooleanValue(False));
    bag.write(QStringLiteral("BalloonSound"), Variant::fromBooleanValue(m_fields.balloonSound),
              Variant::fromBooleanValue(True));
    bag.write(QStringLiteral("BalloonText"), Variant(m_fields.balloonText), Variant(QString()));
    bag.write(QStringLiteral("AutoRefresh"), Variant::fromBooleanValue(m_autoRefresh),
              Variant::fromBooleanValue(False));
    bag.write(QStringLiteral("IconHandle"), Variant(m_fields.iconHandle), Variant(0));
    bag.write(QStringLiteral("BalloonTimeOut"), Variant(m_fields.balloonTimeOut), Variant(MinTimeOut));
}

void Lumitray::resized()
{
    const QSize twips = TwipsPerPixel();
    m_site->setExtent(ControlPixels * twips.width(), ControlPixels * twips.height());
}

void Lumitray::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_hooked) {
        basWndProc::UnhookWindow(m_fields.window);
        m_hooked = false;
    }
    // An icon can only have been added under a registered identifier.
    if (m_fields.iconId != 0)
        basTaskTray::DeleteTrayIcon(m_fields);
    if (m_fields.iconHandle != 0) {
        IconTable::instance().destroyIcon(m_fields.iconHandle);
        m_fields.iconHandle = 0;
    }
    basTaskTray::DeleteIconAtom(m_fields.iconId);
}

void Lumitray::advise(EventSink* sink)
{
    if (sink && std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
        m_sinks.push_back(sink);
}

void Lumitray::unadvise(EventSink* sink)
{
    std::erase(m_sinks, sink);
}

void Lumitray::setIcon(std::shared_ptr<Picture> picture)
{
    if (!picture) {
        m_fields.icon = Picture::fromIconResource(LibraryInstance(), 101);
    } else if (picture->type() != Picture::Icon) {
        m_site->showCriticalMessage(QStringLiteral("アイコンが不正です。"));
        return;
    } else {
        m_fields.icon = std::move(picture);
    }
    changed("Icon");
    paintDesignImage();
    refreshIfAuto();
}

void Lumitray::setBalloonIcon(std::int32_t value)
{
    m_fields.balloonIcon = value;
    changed("BalloonIcon");
    refreshIfAuto();
}

void Lumitray::setToolTipText(const QString& value)
{
    m_fields.toolTipText = value;
    changed("ToolTipText");
    refreshIfAuto();
}

void Lumitray::setBalloonTitle(const QString& value)
{
    m_fields.balloonTitle = value;
    changed("BalloonTitle");
    refreshIfAuto();
}

void Lumitray::setBalloon(Boolean value)
{
    m_fields.balloon = value;
    changed("Balloon");
    refreshIfAuto();
}

void Lumitray::setBalloonSound(Boolean value)
{
    m_fields.balloonSound = value;
    changed("BalloonSound");
    refreshIfAuto();
}

void Lumitray::setAutoRefresh(Boolean value)
{
    m_autoRefresh = value;
    changed("AutoRefresh");
}

void Lumitray::setBalloonText(const QString& value)
{
    m_fields.balloonText = value;
    changed("BalloonText");
    refreshIfAuto();
}

void Lumitray::setIconHandle(ImageHandle handle)
{
    // Copy before destroying, so that assigning the held handle to itself
    // keeps the icon.
    const ImageHandle copy = IconTable::instance().copyIcon(handle, IconPixels, IconPixels);
    if (m_fields.iconHandle != 0)
        IconTable::instance().destroyIcon(m_fields.iconHandle);
    m_fields.iconHandle = copy;
    changed("IconHandle");
    refreshIfAuto();
}

void Lumitray::setBalloonTimeOut(std::int32_t value)
{
    m_fields.balloonTimeOut = std::clamp(value, MinTimeOut, MaxTimeOut);
    changed("BalloonTimeOut");
}

void Lumitray::refresh()
{
    if (methodsAllowed())
        basTaskTray::ModifyTrayIcon(m_fields);
}

void Lumitray::show()
{
    if (methodsAllowed())
        basTaskTray::AddTrayIcon(m_fields);
}

void Lumitray::vanish()
{
    if (methodsAllowed())
        basTaskTray::DeleteTrayIcon(m_fields);
}

void Lumitray::about()
{
    frmAbout::showModal();
}

void Lumitray::setIconHandleFromFile(const QString& fileName)
{
    const ImageHandle loaded = LoadIconFile(fileName, IconPixels, IconPixels);
    // The control owns the handle it held: free it instead of leaking it.
    if (m_fields.iconHandle != 0 && m_fields.iconHandle != loaded)
        IconTable::instance().destroyIcon(m_fields.iconHandle);
    m_fields.iconHandle = loaded;
}

HResult Lumitray::setIconHandleFromResource(std::int32_t module, const Variant& id)
{
    ImageHandle loaded = 0;
    if (id.type() == Variant::Type::String) {
        QString name;
        id.toString(&name);
        loaded = LoadIconResource(module, name, IconPixels, IconPixels);
    } else {
        std::int32_t number = 0;
        if (!id.toLong(&number))
            return DISP_E_TYPEMISMATCH;
        loaded = LoadIconResource(module, number, IconPixels, IconPixels);
    }
    if (m_fields.iconHandle != 0 && m_fields.iconHandle != loaded)
        IconTable::instance().destroyIcon(m_fields.iconHandle);
    m_fields.iconHandle = loaded;
    return S_OK;
}

std::intptr_t Lumitray::ControlWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t)
{
    if (message == WM_CHAR) {
        if (auto* control = static_cast<Lumitray*>(WindowTable::instance().owner(window)))
            control->onKeyPress(static_cast<TrayEventCode>(wParam));
    }
    return 0;
}

void Lumitray::onKeyPress(TrayEventCode code)
{
    switch (code) {
    case 1: raise(EventIds::MouseMove); break;
    case 2: raise(EventIds::MouseDown, 1); break;
    case 3: raise(EventIds::MouseUp, 1); break;
    case 4: raise(EventIds::DblClick, 1); break;
    case 5: raise(EventIds::MouseDown, 4); break;
    case 6: raise(EventIds::MouseUp, 4); break;
    case 7: raise(EventIds::DblClick, 4); break;
    case 8: raise(EventIds::MouseDown, 2); break;
    case 9: raise(EventIds::MouseUp, 2); break;
    case 10: raise(EventIds::DblClick, 2); break;
    case 11: raise(EventIds::BalloonShow); break;
    case 12: raise(EventIds::BalloonClick); break;
    case 13: raise(EventIds::BalloonClose); break;
    default: break;
    }
}

void Lumitray::raise(DispId event, std::int16_t button)
{
    // A handler may remove its sink while the event is delivered.
    const std::vector<EventSink*> sinks = m_sinks;
    for (EventSink* sink : sinks) {
        if (std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
            continue;
        if (button != 0) {
            Variant argument = Variant::fromInteger(button);
            sink->invoke(event, std::span<Variant>(&argument, 1));
        } else {
            sink->invoke(event, {});
        }
    }
}

void Lumitray::changed(const char* property)
{
    m_site->propertyChanged(QLatin1String(property));
}

void Lumitray::refreshIfAuto()
{
    if (m_autoRefresh == True)
        refresh();
}

bool Lumitray::methodsAllowed() const
{
    return !m_terminated && m_fields.iconId != 0 && m_site->userMode();
}

void Lumitray::registerIdentifier()
{
    if (m_registered)
        return;
    m_registered = true;
    QString name = m_site->extenderName();
    std::int32_t index = 0;
    const std::int32_t error = m_site->extenderIndex(&index);
    if (error == 0)
        name += QStringLiteral("(%1).ID By Pemberd").arg(index);
    else if (error == ErrorNotAnArray)
        name += QStringLiteral(".ID By Pemberd");
    else
        name.clear();
    // The atom is 16-bit; the identifier is that value widened with its sign.
    const std::uint16_t atom = basTaskTray::AddIconAtom(name);
    m_fields.iconId = static_cast<std::int16_t>(atom);
    basWndProc::HookWindow(m_fields.window);
    m_hooked = true;
}

void Lumitray::paintDesignImage()
{
    if (m_site->userMode())
        return;
    m_designImage = QImage(ControlPixels, ControlPixels, QImage::Format_ARGB32_Premultiplied);
    m_designImage.fill(Qt::transparent);
    if (!m_fields.icon)
        return;
    QPainter painter(&m_designImage);
    const int left = (m_designImage.width() - IconPixels) / 2;
    const int top = (m_designImage.height() - IconPixels) / 2;
    painter.drawImage(QRect(left, top, IconPixels, IconPixels), m_fields.icon->image());
}

} // namespace lumitray

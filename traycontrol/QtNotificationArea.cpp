// SPDX-License-Identifier: MIT
#include "traycontrol/QtNotificationArea.h"

#include "traycontrol/IconTable.h"
#include "traycontrol/NotificationBus.h"
#include "traycontrol/TrayMenu.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStyleHints>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace lumitray {
namespace {

// How long the desktop is asked to show a balloon. The control's own time-out
// (3 to 10 seconds) is too short for a notice read on a desktop: every
// balloon stays at least 10 seconds, and no more than 30.
constexpr int MinBalloonSeconds = 10;
constexpr int MaxBalloonSeconds = 30;
/// The size of the program's icon handed to the notification service.
constexpr int kNoticeIconSize = 64;

void SayOnce(bool& said, const char* text)
{
    if (!said)
        std::fprintf(stderr, "lumitray: %s\n", text);
    said = true;
}

bool g_saidNoArea = false;
bool g_saidNoService = false;

QIcon IconOf(std::int32_t handle)
{
    QImage image = IconTable::instance().image(handle);
    if (image.isNull()) {
        // Keep a blank slot rather than no icon: the user can still click it.
        image = QImage(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
    }
    return QIcon(QPixmap::fromImage(image));
}

QSystemTrayIcon::MessageIcon MessageIconOf(std::uint32_t kind)
{
    switch (kind) {
    case 1: return QSystemTrayIcon::Information;
    case 2: return QSystemTrayIcon::Warning;
    case 3: return QSystemTrayIcon::Critical;
    default: return QSystemTrayIcon::NoIcon;
    }
}

int BalloonMilliseconds(std::uint32_t seconds)
{
    // The request carries seconds; values from a stored property may lie
    // outside the documented range.
    const auto clamped =
        std::clamp<std::int64_t>(static_cast<std::int32_t>(seconds), MinBalloonSeconds, MaxBalloonSeconds);
    return static_cast<int>(clamped) * 1000;
}

bool StatusNotifierHostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher).value())
        return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace

struct QtNotificationArea::Icon {
    WindowHandle window = 0;
    std::int32_t id = 0;
    std::uint32_t callbackMessage = 0;
    QPointer<QSystemTrayIcon> tray;
    /// The menu the tray host draws; made with the first menu offered.
    QPointer<TrayMenu> menu;
    QPointer<QTimer> balloonTimer;
    bool balloonOpen = false;
    /// The title and text of the balloon last shown: a request that only
    /// changes the tool tip or the icon passes the same ones again.
    QString shownTitle;
    QString shownText;
    /// A click on the balloon waits for the end of the event that brought
    /// it: a click on the icon while a balloon shows reports both.
    bool balloonClickPending = false;
    quint64 balloonSerial = 0;
    quint32 notificationId = 0;
    bool activated = false;
    qint64 lastActivation = 0;
};

QtNotificationArea::QtNotificationArea() : QtNotificationArea(Options{}) {}

QtNotificationArea::QtNotificationArea(Options options)
    : m_protocol(options.protocol), m_bus(std::move(options.bus)), m_clock(std::move(options.clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
    if (m_bus) {
        connect(m_bus.get(), &NotificationBus::actionInvoked, this, &QtNotificationArea::onActionInvoked);
        connect(m_bus.get(), &NotificationBus::notificationClosed, this, &QtNotificationArea::onNotificationClosed);
    }
}

QtNotificationArea::~QtNotificationArea()
{
    for (auto& [key, icon] : m_icons) {
        if (icon->tray)
            icon->tray->hide();
        delete icon->tray;
        delete icon->menu;
    }
}

bool QtNotificationArea::notifyIcon(std::uint32_t operation, const TrayIconRequest& request)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        SayOnce(g_saidNoArea, "no notification area is available (no desktop session); the icon is not shown");
        return false;
    }
    switch (operation) {
    case NIM_ADD: return add(request);
    case NIM_MODIFY: return modify(request);
    case NIM_DELETE: return remove(request);
    default: return false;
    }
}

void QtNotificationArea::setIconMenu(WindowHandle window, std::int32_t id, QMenu* menu)
{
    const Key key{window, id};
    if (menu)
        m_menus[key] = menu;
    else
        m_menus.erase(key);
    auto it = m_icons.find(key);
    if (it != m_icons.end())
        applyMenu(*it->second);
}

TrayProtocol QtNotificationArea::protocol()
{
    if (!m_protocol)
        m_protocol = detectProtocol();
    return *m_protocol;
}

TrayProtocol QtNotificationArea::detectProtocol()
{
    if (StatusNotifierHostRegistered())
        return TrayProtocol::StatusNotifierItem;
    return QSystemTrayIcon::isSystemTrayAvailable() ? TrayProtocol::XEmbed : TrayProtocol::None;
}

QSystemTrayIcon* QtNotificationArea::trayIcon(WindowHandle window, std::int32_t id) const
{
    auto it = m_icons.find({window, id});
    return it == m_icons.end() ? nullptr : it->second->tray.data();
}

bool QtNotificationArea::add(const TrayIconRequest& data)
{
    const Key key{data.window, data.id};
    if (m_icons.contains(key))
        return false;
    if (protocol() == TrayProtocol::None)
        SayOnce(g_saidNoArea, "no notification area is available; the icon is not shown");
    auto icon = std::make_unique<Icon>();
    icon->window = data.window;
    icon->id = data.id;
    icon->tray = new QSystemTrayIcon;
    icon->balloonTimer = new QTimer(icon->tray);
    icon->balloonTimer->setObjectName(QStringLiteral("balloonTimer"));
    icon->balloonTimer->setSingleShot(true);
    connect(icon->tray, &QSystemTrayIcon::activated, this,
            [this, key](QSystemTrayIcon::ActivationReason reason) { onActivated(key, reason); });
    connect(icon->tray, &QSystemTrayIcon::messageClicked, this, [this, key] { onMessageClicked(key); });
    connect(icon->balloonTimer, &QTimer::timeout, this, [this, key] { onBalloonExpired(key); });
    Icon& stored = *icon;
    m_icons.emplace(key, std::move(icon));
    apply(stored, data);
    // The host reads the menu when the item appears.
    applyMenu(stored);
    stored.tray->show();
    updateBalloon(stored, data);
    return true;
}

bool QtNotificationArea::modify(const TrayIconRequest& data)
{
    auto it = m_icons.find({data.window, data.id});
    if (it == m_icons.end())
        return false;
    apply(*it->second, data);
    updateBalloon(*it->second, data);
    return true;
}

bool QtNotificationArea::remove(const TrayIconRequest& data)
{
    auto it = m_icons.find({data.window, data.id});
    if (it == m_icons.end())
        return false;
    std::unique_ptr<Icon> icon = std::move(it->second);
    m_icons.erase(it);
    hideBalloon(*icon);
    if (icon->tray) {
        icon->tray->hide();
        // The icon may be removed from inside one of its own signals.
        icon->tray->deleteLater();
    }
    return true;
}

void QtNotificationArea::apply(Icon& icon, const TrayIconRequest& data)
{
    icon.callbackMessage = (data.flags & NIF_MESSAGE) ? data.callbackMessage : icon.callbackMessage;
    if (data.flags & NIF_ICON)
        icon.tray->setIcon(IconOf(data.icon));
    if (data.flags & NIF_TIP)
        icon.tray->setToolTip(data.tip);
}

void QtNotificationArea::applyMenu(Icon& icon)
{
    // An XEmbed tray would pop a menu of its own up on the right click,
    // beside the one the program shows for MouseDown.
    if (!icon.tray || protocol() != TrayProtocol::StatusNotifierItem)
        return;
    auto offered = m_menus.find({icon.window, icon.id});
    QMenu* source = offered == m_menus.end() ? nullptr : offered->second.data();
    if (icon.menu) {
        icon.menu->setSource(source);
        return;
    }
    if (!source)
        return;
    // Qt cannot take a tray's menu away again, so the icon keeps this one
    // for its life and an empty one stands for no menu.
    icon.menu = new TrayMenu(source);
    icon.tray->setContextMenu(icon.menu);
    connect(icon.tray, &QObject::destroyed, icon.menu, &QObject::deleteLater);
}

void QtNotificationArea::updateBalloon(Icon& icon, const TrayIconRequest& data)
{
    if (!(data.flags & NIF_INFO))
        return;
    if (data.info.isEmpty()) {
        hideBalloon(icon);
        icon.shownTitle.clear();
        icon.shownText.clear();
    } else if (data.info != icon.shownText || data.infoTitle != icon.shownTitle) {
        icon.shownTitle = data.infoTitle;
        icon.shownText = data.info;
        showBalloon(icon, data);
    }
}

void QtNotificationArea::showBalloon(Icon& icon, const TrayIconRequest& data)
{
    const Key key{icon.window, icon.id};
    const quint64 serial = m_nextSerial++;
    const int milliseconds = BalloonMilliseconds(data.timeOut);
    const std::uint32_t kind = data.infoFlags & NIIF_ICON_MASK;
    if (icon.balloonOpen)
        post(icon, NIN_BALLOONHIDE);
    icon.balloonOpen = false;
    icon.balloonSerial = serial;
    if (balloonsUseBus()) {
        BalloonNotice notice;
        notice.title = data.infoTitle;
        notice.text = data.info;
        notice.iconKind = kind;
        if (kind == 0 && !icon.tray->icon().isNull())
            notice.image = icon.tray->icon().pixmap(kNoticeIconSize).toImage();
        notice.silent = (data.infoFlags & NIIF_NOSOUND) != 0;
        notice.timeoutMs = milliseconds;
        notice.replacesId = icon.notificationId;
        icon.notificationId = 0;
        bus().notify(notice, [this, key, serial](quint32 id) { onNotificationShown(key, serial, id); });
        return;
    }
    // Without an icon of a kind the balloon shows the program's own.
    if (kind == 0 && !icon.tray->icon().isNull())
        icon.tray->showMessage(data.infoTitle, data.info, icon.tray->icon(), milliseconds);
    else
        icon.tray->showMessage(data.infoTitle, data.info, MessageIconOf(kind), milliseconds);
    icon.balloonOpen = true;
    icon.balloonTimer->start(milliseconds);
    post(icon, NIN_BALLOONSHOW);
}

void QtNotificationArea::hideBalloon(Icon& icon)
{
    icon.balloonSerial = m_nextSerial++; // a notice still on its way is dropped
    if (icon.balloonTimer)
        icon.balloonTimer->stop();
    if (icon.notificationId != 0) {
        bus().close(icon.notificationId);
        icon.notificationId = 0;
    } else if (icon.balloonOpen && icon.tray) {
        // An empty title and text take Qt's balloon down.
        icon.tray->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 0);
    }
    if (icon.balloonOpen)
        post(icon, NIN_BALLOONHIDE);
    icon.balloonOpen = false;
}

void QtNotificationArea::onActivated(const Key& key, QSystemTrayIcon::ActivationReason reason)
{
    auto it = m_icons.find(key);
    if (it == m_icons.end())
        return;
    Icon& icon = *it->second;
    if (icon.balloonClickPending) {
        // The click was on the icon, which took the balloon down.
        icon.balloonClickPending = false;
        post(icon, NIN_BALLOONHIDE);
    }
    if (reason == QSystemTrayIcon::Context) {
        post(icon, WM_RBUTTONDOWN);
        post(icon, WM_RBUTTONUP);
    } else if (reason == QSystemTrayIcon::MiddleClick) {
        post(icon, WM_MBUTTONDOWN);
        post(icon, WM_MBUTTONUP);
    } else if (protocol() == TrayProtocol::StatusNotifierItem) {
        // Hosts of this protocol activate an item on a single click and send
        // two or three activations for a double click: the first one of a
        // burst counts as the double click that opens the program.
        const qint64 now = m_clock();
        const qint64 gap = std::max(400, QGuiApplication::styleHints()->mouseDoubleClickInterval());
        if (!icon.activated || now - icon.lastActivation > gap)
            post(icon, WM_LBUTTONDBLCLK);
        icon.activated = true;
        icon.lastActivation = now;
    } else if (reason == QSystemTrayIcon::Trigger) {
        post(icon, WM_LBUTTONDOWN);
        post(icon, WM_LBUTTONUP);
    } else if (reason == QSystemTrayIcon::DoubleClick) {
        post(icon, WM_LBUTTONDBLCLK);
    }
}

void QtNotificationArea::onMessageClicked(const Key& key)
{
    auto it = m_icons.find(key);
    if (it == m_icons.end() || !it->second->balloonOpen || balloonsUseBus())
        return;
    Icon& icon = *it->second;
    icon.balloonOpen = false;
    icon.balloonTimer->stop();
    // Qt reports a click on the icon while its balloon shows as a click on
    // the balloon too, right before the icon's own: only a click that comes
    // alone is the balloon's.
    icon.balloonClickPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, key] {
            auto pending = m_icons.find(key);
            if (pending == m_icons.end() || !pending->second->balloonClickPending)
                return;
            pending->second->balloonClickPending = false;
            post(*pending->second, NIN_BALLOONUSERCLICK);
        },
        Qt::QueuedConnection);
}

void QtNotificationArea::onBalloonExpired(const Key& key)
{
    auto it = m_icons.find(key);
    if (it == m_icons.end() || !it->second->balloonOpen || balloonsUseBus())
        return;
    it->second->balloonOpen = false;
    post(*it->second, NIN_BALLOONTIMEOUT);
}

void QtNotificationArea::onNotificationShown(const Key& key, quint64 serial, quint32 notificationId)
{
    if (notificationId == 0) {
        SayOnce(g_saidNoService, "no notification service is available; balloons are not shown");
        return;
    }
    auto it = m_icons.find(key);
    if (it == m_icons.end() || it->second->balloonSerial != serial) {
        // The icon or its balloon went away while the notice was on its way.
        bus().close(notificationId);
        return;
    }
    Icon& icon = *it->second;
    icon.notificationId = notificationId;
    icon.balloonOpen = true;
    post(icon, NIN_BALLOONSHOW);
}

void QtNotificationArea::onActionInvoked(quint32 notificationId, const QString& action)
{
    Icon* icon = findByNotification(notificationId);
    if (!icon || action != QLatin1String("default"))
        return;
    // The service reports the notice closed after the click: that is not a
    // second event.
    icon->notificationId = 0;
    icon->balloonOpen = false;
    post(*icon, NIN_BALLOONUSERCLICK);
    bus().close(notificationId);
}

void QtNotificationArea::onNotificationClosed(quint32 notificationId, quint32 reason)
{
    Icon* icon = findByNotification(notificationId);
    if (!icon)
        return;
    icon->notificationId = 0;
    icon->balloonOpen = false;
    post(*icon, reason == 1 ? NIN_BALLOONTIMEOUT : NIN_BALLOONHIDE);
}

QtNotificationArea::Icon* QtNotificationArea::findByNotification(quint32 notificationId)
{
    if (notificationId == 0)
        return nullptr;
    for (auto& [key, icon] : m_icons) {
        if (icon->notificationId == notificationId)
            return icon.get();
    }
    return nullptr;
}

void QtNotificationArea::post(const Icon& icon, std::int32_t code)
{
    // A shell posts its callbacks: the control's handlers never run inside
    // Qt's tray code, and a control that is gone by then gets nothing.
    const WindowHandle window = icon.window;
    const std::uint32_t message = icon.callbackMessage;
    const auto id = static_cast<std::uint32_t>(icon.id);
    if (message == 0)
        return;
    QMetaObject::invokeMethod(
        this, [window, message, id, code] { WindowTable::instance().send(window, message, id, code); },
        Qt::QueuedConnection);
}

bool QtNotificationArea::balloonsUseBus()
{
    return protocol() != TrayProtocol::XEmbed;
}

NotificationBus& QtNotificationArea::bus()
{
    if (!m_bus) {
        m_bus = std::make_unique<DBusNotifications>();
        connect(m_bus.get(), &NotificationBus::actionInvoked, this, &QtNotificationArea::onActionInvoked);
        connect(m_bus.get(), &NotificationBus::notificationClosed, this, &QtNotificationArea::onNotificationClosed);
    }
    return *m_bus;
}

} // namespace lumitray

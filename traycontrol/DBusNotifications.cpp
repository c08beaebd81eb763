// SPDX-License-Identifier: MIT
#include "traycontrol/NotificationBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace lumitray {
namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// A service that does not answer within this time is taken as absent, so
// that a hung daemon cannot hold up the program.
constexpr int CallTimeoutMs = 5000;

QString IconName(std::uint32_t kind)
{
    switch (kind) {
    case 1: return QStringLiteral("dialog-information");
    case 2: return QStringLiteral("dialog-warning");
    case 3: return QStringLiteral("dialog-error");
    default: return QString();
    }
}

} // namespace

DBusNotifications::DBusNotifications(QObject* parent) : NotificationBus(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
}

bool DBusNotifications::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(Service).value();
}

void DBusNotifications::notify(const BalloonNotice& notice, std::function<void(quint32 id)> done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [done] { done(0); });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    if (notice.silent)
        hints.insert(QStringLiteral("suppress-sound"), true);
    if (!notice.image.isNull() && notice.iconKind == 0) {
        // The "image-data" hint: width, height, bytes a row, alpha, bits a
        // sample, samples a pixel, then the pixels as RGBA.
        const QImage rgba = notice.image.convertToFormat(QImage::Format_RGBA8888);
        QDBusArgument image;
        image.beginStructure();
        image << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8 << 4
              << QByteArray(reinterpret_cast<const char*>(rgba.constBits()), static_cast<int>(rgba.sizeInBytes()));
        image.endStructure();
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(image));
    }
    const QString appName = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("Lumitray")
                                                                          : QCoreApplication::applicationName();
    call << appName << static_cast<uint>(notice.replacesId) << IconName(notice.iconKind) << notice.title << notice.text
         << QStringList{QStringLiteral("default"), QStringLiteral("開く")} << hints
         << static_cast<int>(notice.timeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done] {
        QDBusPendingReply<uint> reply = *watcher;
        watcher->deleteLater();
        done(reply.isError() ? 0 : reply.value());
    });
}

void DBusNotifications::close(quint32 id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("CloseNotification"));
    call << static_cast<uint>(id);
    QDBusConnection::sessionBus().asyncCall(call, CallTimeoutMs);
}

void DBusNotifications::onActionInvoked(uint id, const QString& action)
{
    emit actionInvoked(id, action);
}

void DBusNotifications::onNotificationClosed(uint id, uint reason)
{
    emit notificationClosed(id, reason);
}

} // namespace lumitray

// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

namespace lumitray {

/// A balloon as a desktop notification.
struct BalloonNotice final {
    QString title;
    QString text;
    /// 0 none, 1 information, 2 warning, 3 error.
    std::uint32_t iconKind = 0;
    /// The program's icon, shown when the notice has no icon of a kind;
    /// null for none.
    QImage image;
    bool silent = false;
    int timeoutMs = 3000;
    /// The notification this one replaces, 0 for none.
    quint32 replacesId = 0;
};

/// The desktop's notification service as the notification area uses it for
/// balloons: notices carry a default action, and the service reports back
/// when one is clicked or closed. UI thread only.
class NotificationBus : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /// Shows a notice. `done` receives the notice's id once the service has
    /// it, or 0 when there is no service or it refused; it is never called
    /// from inside `notify`.
    virtual void notify(const BalloonNotice& notice, std::function<void(quint32 id)> done) = 0;
    /// Closes a notice; the service then reports it closed.
    virtual void close(quint32 id) = 0;

signals:
    /// The user invoked `action` ("default" for a click) on notice `id`.
    void actionInvoked(quint32 id, const QString& action);
    /// Notice `id` went away: 1 expired, 2 dismissed, 3 closed by a call, 4 other.
    void notificationClosed(quint32 id, quint32 reason);
};

/// The freedesktop.org notification service on the session bus.
class DBusNotifications final : public NotificationBus {
    Q_OBJECT

public:
    explicit DBusNotifications(QObject* parent = nullptr);
    /// True when a notification service owns its name on the session bus.
    static bool available();

    void notify(const BalloonNotice& notice, std::function<void(quint32 id)> done) override;
    void close(quint32 id) override;

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);
};

} // namespace lumitray

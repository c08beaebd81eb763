// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/NotificationArea.h"
#include "traycontrol/WindowTable.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace lumitray {

class NotificationBus;
class TrayMenu;

/// How icons reach the desktop's notification area.
enum class TrayProtocol {
    /// No tray host: icons stay hidden, balloons go to the notification
    /// service when there is one.
    None,
    /// An XEmbed system tray; Qt draws the balloons itself.
    XEmbed,
    /// StatusNotifierItem over D-Bus; balloons go to the notification service.
    StatusNotifierItem,
};

/// The notification area of a Linux desktop: takes the requests for add,
/// modify and delete with their Unicode texts as they are, drives one
/// `QSystemTrayIcon` per icon, and sends
/// the user's actions back to the request's window as its callback message
/// (queued, as a shell posts them). On StatusNotifierItem hosts an icon
/// offered a menu exports it over D-Bus, for hosts that draw the menu
/// themselves; an XEmbed tray leaves the menu to the program, which shows
/// it on the right click. UI thread only; needs a QApplication.
class QtNotificationArea final : public QObject, public NotificationArea {
    Q_OBJECT

public:
    struct Options {
        /// The protocol to assume; detected at the first call when empty.
        std::optional<TrayProtocol> protocol;
        /// The notification service for balloons; the session bus's when null.
        std::unique_ptr<NotificationBus> bus;
        /// A monotonic clock in milliseconds, for telling bursts of
        /// activations apart.
        std::function<qint64()> clock;
    };

    QtNotificationArea();
    explicit QtNotificationArea(Options options);
    ~QtNotificationArea() override;

    bool notifyIcon(std::uint32_t operation, const TrayIconRequest& request) override;
    void setIconMenu(WindowHandle window, std::int32_t id, QMenu* menu) override;

    /// The protocol in use (detected at the first call).
    TrayProtocol protocol();
    /// Finds which protocol Qt uses in this process: StatusNotifierItem when a
    /// watcher with a registered host is on the session bus, else XEmbed
    /// when a system tray is available, else none.
    static TrayProtocol detectProtocol();
    /// The tray icon shown for the icon `id` of `window`, nullptr when absent.
    QSystemTrayIcon* trayIcon(WindowHandle window, std::int32_t id) const;

private:
    struct Icon;
    using Key = std::pair<WindowHandle, std::int32_t>;

    bool add(const TrayIconRequest& data);
    bool modify(const TrayIconRequest& data);
    bool remove(const TrayIconRequest& data);
    void apply(Icon& icon, const TrayIconRequest& data);
    void applyMenu(Icon& icon);
    void updateBalloon(Icon& icon, const TrayIconRequest& data);
    void showBalloon(Icon& icon, const TrayIconRequest& data);
    void hideBalloon(Icon& icon);
    void onActivated(const Key& key, QSystemTrayIcon::ActivationReason reason);
    void onMessageClicked(const Key& key);
    void onBalloonExpired(const Key& key);
    void onNotificationShown(const Key& key, quint64 serial, quint32 notificationId);
    void onActionInvoked(quint32 notificationId, const QString& action);
    void onNotificationClosed(quint32 notificationId, quint32 reason);
    Icon* findByNotification(quint32 notificationId);
    void post(const Icon& icon, std::int32_t code);
    bool balloonsUseBus();
    NotificationBus& bus();

    std::optional<TrayProtocol> m_protocol;
    std::unique_ptr<NotificationBus> m_bus;
    std::function<qint64()> m_clock;
    std::map<Key, std::unique_ptr<Icon>> m_icons;
    std::map<Key, QPointer<QMenu>> m_menus;
    quint64 m_nextSerial = 1;
};

} // namespace lumitray

// SPDX-License-Identifier: MIT
// A minimal StatusNotifierItem watcher with a host of its own, for the
// desktop test: it makes Qt choose the D-Bus tray protocol and prints
// "ITEM service" for every item that registers.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>

#include <cstdio>

class Watcher final : public QObject {
    Q_OBJECT

public:
    QStringList items;
};

class WatcherAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit WatcherAdaptor(Watcher* watcher) : QDBusAbstractAdaptor(watcher), m_watcher(watcher) {}

    QStringList registeredItems() const { return m_watcher->items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        // Items may register by object path; then the sender is the service.
        const QString name = service.startsWith(QLatin1Char('/')) ? message.service() : service;
        m_watcher->items << name;
        std::printf("ITEM %s\n", name.toUtf8().constData());
        std::fflush(stdout);
        emit StatusNotifierItemRegistered(name);
    }
    void RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    Watcher* m_watcher;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Watcher watcher;
    new WatcherAdaptor(&watcher);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "sni-watcher: cannot take the watcher name\n");
        return 1;
    }
    std::printf("WATCHING\n");
    std::fflush(stdout);
    return app.exec();
}

#include "SniWatcher.moc"

// SPDX-License-Identifier: MIT
// Reads the menu a StatusNotifierItem exports, the way a tray host that
// draws D-Bus menus does, for the desktop test:
//   lumitray_dbusmenu_reader SERVICE layout
//     prints "MENU path", then one line per entry of the top level:
//     "ENTRY label", "ENTRY [x] label" / "ENTRY [ ] label" for a check mark,
//     "ENTRY -" for a separator, with " (disabled)" after a disabled one;
//   lumitray_dbusmenu_reader SERVICE click LABEL
//     sends the entry with that label the "clicked" event.
// Exits 1 with a reason on standard error when the item exports no menu
// or the menu does not answer.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>

#include <cstdio>
#include <optional>

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

struct Entry {
    int id = 0;
    QVariantMap properties;
};

int Fail(const QString& reason)
{
    std::fprintf(stderr, "dbusmenu-reader: %s\n", reason.toUtf8().constData());
    return 1;
}

QDBusMessage Call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

/// The item's Menu property; empty when it has none.
QString MenuPath(const QString& service)
{
    const QDBusMessage reply =
        Call(service, QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {kItemInterface, QStringLiteral("Menu")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QString path = reply.arguments().first().value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    return path == QLatin1String("/NO_DBUSMENU") ? QString() : path;
}

/// The entries of the menu's top level, read as (ia{sv}av).
std::optional<QList<Entry>> TopLevel(const QString& service, const QString& path)
{
    // A host announces the menu before it reads it.
    Call(service, path, kMenuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply = Call(service, path, kMenuInterface, QStringLiteral("GetLayout"), {0, 1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return std::nullopt;
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    QList<Entry> entries;
    int rootId = 0;
    QVariantMap rootProperties;
    root.beginStructure();
    root >> rootId >> rootProperties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        Entry entry;
        item.beginStructure();
        item >> entry.id >> entry.properties;
        item.endStructure();
        entries << entry;
    }
    root.endArray();
    root.endStructure();
    return entries;
}

QString Label(const Entry& entry)
{
    // Labels mark their access key with an underscore.
    return entry.properties.value(QStringLiteral("label")).toString().remove(QLatin1Char('_'));
}

QString Describe(const Entry& entry)
{
    const QVariantMap& p = entry.properties;
    QString text;
    if (p.value(QStringLiteral("type")).toString() == QLatin1String("separator"))
        text = QStringLiteral("-");
    else if (p.value(QStringLiteral("toggle-type")).toString() == QLatin1String("checkmark"))
        text =
            (p.value(QStringLiteral("toggle-state")).toInt() == 1 ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) +
            Label(entry);
    else
        text = Label(entry);
    if (p.contains(QStringLiteral("enabled")) && !p.value(QStringLiteral("enabled")).toBool())
        text += QStringLiteral(" (disabled)");
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return Fail(QStringLiteral("usage: SERVICE layout | SERVICE click LABEL"));
    const QString service = args[1];
    const QString path = MenuPath(service);
    if (path.isEmpty())
        return Fail(QStringLiteral("%1 exports no menu").arg(service));
    const std::optional<QList<Entry>> entries = TopLevel(service, path);
    if (!entries)
        return Fail(QStringLiteral("the menu at %1 does not answer GetLayout").arg(path));

    if (args[2] == QLatin1String("layout")) {
        std::printf("MENU %s\n", path.toUtf8().constData());
        for (const Entry& entry : *entries)
            std::printf("ENTRY %s\n", Describe(entry).toUtf8().constData());
        return 0;
    }
    if (args[2] == QLatin1String("click") && args.size() > 3) {
        for (const Entry& entry : *entries) {
            if (Label(entry) != args[3])
                continue;
            const auto now = static_cast<uint>(QDateTime::currentSecsSinceEpoch());
            const QDBusMessage reply =
                Call(service, path, kMenuInterface, QStringLiteral("Event"),
                     {entry.id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), now});
            if (reply.type() == QDBusMessage::ErrorMessage)
                return Fail(reply.errorMessage());
            return 0;
        }
        return Fail(QStringLiteral("no entry %1").arg(args[3]));
    }
    return Fail(QStringLiteral("unknown command %1").arg(args[2]));
}

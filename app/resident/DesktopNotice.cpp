// SPDX-License-Identifier: MIT
#include "resident/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tessaly {
namespace {

/// How long the notification service may take to answer: one that is
/// started on demand needs a moment, a start-up must not hang on it.
constexpr int kAnswerWaitMs = 3000;

} // namespace

bool ShowDesktopNotice(const std::string& text)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString name = QStringLiteral("Tessaly");
    call << name << 0U << QStringLiteral("tessaly") << name << QString::fromStdString(text) << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.example.tessaly.Tessaly")}} << -1;
    const QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerWaitMs);
    return answer.type() == QDBusMessage::ReplyMessage;
}

} // namespace tessaly

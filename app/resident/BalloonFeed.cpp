// SPDX-License-Identifier: MIT
#include "resident/BalloonFeed.h"

#include "common/BalloonFeedClient.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>

#include <iostream>

namespace tessaly {

namespace {

/// True when another program answers on `path`.
bool SomeoneListens(const QString& path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    return probe.waitForConnected(1000);
}

} // namespace

BalloonFeed::BalloonFeed(const std::string& folder, Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this))
{
    std::string error;
    const std::optional<std::string> path = BalloonFeedSocketPath(folder, true, &error);
    if (!path) {
        std::cerr << "tessaly: no balloon feed: " << error << std::endl;
        return;
    }
    const QString name = QString::fromStdString(*path);
    if (SomeoneListens(name)) {
        std::cerr << "tessaly: another copy of the program feeds the balloon of " << folder << std::endl;
        return;
    }
    QLocalServer::removeServer(name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        std::cerr << "tessaly: no balloon feed: " << m_server->errorString().toStdString() << std::endl;
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &BalloonFeed::accept);
}

BalloonFeed::~BalloonFeed()
{
    // The clients go with the server, while the buffers are still there.
    delete m_server;
}

bool BalloonFeed::listening() const
{
    return m_server->isListening();
}

void BalloonFeed::accept()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QObject::destroyed, this, [this, client] { m_buffers.erase(client); });
        connect(client, &QLocalSocket::readyRead, this, [this, client] { receive(client); });
        // A client that never finishes its message is dropped.
        QTimer::singleShot(5000, client, [client] { client->abort(); });
    }
}

void BalloonFeed::receive(QLocalSocket* client)
{
    Pending& pending = m_buffers[client];
    if (pending.answered) {
        client->readAll(); // the rest after an answer is dropped
        return;
    }
    pending.message += client->readAll();
    // "title NUL text NUL": complete once the second NUL is in.
    if (pending.message.size() <= static_cast<qsizetype>(kBalloonFeedLimit) && pending.message.count('\0') < 2)
        return;
    pending.answered = true;
    client->write(answer(pending.message));
    client->disconnectFromServer();
}

QByteArray BalloonFeed::answer(const QByteArray& message)
{
    if (message.size() > static_cast<qsizetype>(kBalloonFeedLimit))
        return "the texts are too long\n";
    const QList<QByteArray> parts = message.split('\0');
    if (parts.size() != 3 || !parts[2].isEmpty())
        return "expected a title and a text, each ended by NUL\n";
    if (parts[0].startsWith('\xff')) {
        const QByteArray show(kShowWindowRequest.data(), static_cast<qsizetype>(kShowWindowRequest.size()));
        if (parts[0] != show || !parts[1].isEmpty() || !m_showWindow)
            return "unknown request\n";
        // After the answer: the window may first ask for the password.
        QTimer::singleShot(0, this, m_showWindow);
        return "OK\n";
    }
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString title = decode(parts[0]);
    const QString text = decode(parts[1]);
    if (decode.hasError())
        return "the texts are not UTF-8\n";
    m_handler(title, text);
    return "OK\n";
}

} // namespace tessaly

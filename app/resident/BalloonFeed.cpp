// SPDX-License-Identifier: MIT
#include "resident/BalloonFeed.h"

#include "common/BalloonFeedClient.h"

#include <QLocalServer>
#include <QLocalSocket>
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
        if (m_buffers.size() >= kBalloonFeedMaxClients)
            dropOldest();
        m_buffers[client].arrival = ++m_arrivals;
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QObject::destroyed, this, [this, client] { m_buffers.erase(client); });
        connect(client, &QLocalSocket::readyRead, this, [this, client] { receive(client); });
        // A client that never finishes its message is dropped.
        QTimer::singleShot(kBalloonFeedClientMilliseconds, client, [client] { client->abort(); });
    }
}

void BalloonFeed::dropOldest()
{
    auto oldest = m_buffers.end();
    for (auto it = m_buffers.begin(); it != m_buffers.end(); ++it) {
        if (!it->second.answered && (oldest == m_buffers.end() || it->second.arrival < oldest->second.arrival))
            oldest = it;
    }
    if (oldest == m_buffers.end())
        return;
    QLocalSocket* client = oldest->first;
    m_buffers.erase(oldest);
    client->abort();
    client->deleteLater();
}

void BalloonFeed::receive(QLocalSocket* client)
{
    const auto found = m_buffers.find(client);
    if (found == m_buffers.end())
        return; // dropped
    Pending& pending = found->second;
    if (pending.answered) {
        client->readAll(); // the rest after an answer is dropped
        return;
    }
    pending.message += client->readAll();
    if (!BalloonFeedMessageEnded({pending.message.constData(), size_t(pending.message.size())}))
        return;
    pending.answered = true;
    client->write(answer(pending.message));
    client->disconnectFromServer();
}

QByteArray BalloonFeed::answer(const QByteArray& message)
{
    const BalloonFeedMessage parsed = ParseBalloonFeedMessage({message.constData(), size_t(message.size())});
    const auto bytes = [](std::string_view text) { return QByteArray(text.data(), qsizetype(text.size())); };
    switch (parsed.kind) {
    case BalloonFeedMessage::Kind::Refused: return bytes(parsed.reply);
    case BalloonFeedMessage::Kind::ShowWindow:
        if (!m_showWindow)
            return "the program runs without a desktop and has no window\n";
        // After the answer: the window may first ask for the password.
        QTimer::singleShot(0, this, m_showWindow);
        break;
    case BalloonFeedMessage::Kind::Balloon:
        m_handler(QString::fromStdString(parsed.title), QString::fromStdString(parsed.text));
        break;
    }
    return bytes(kBalloonFeedAccepted);
}

} // namespace tessaly

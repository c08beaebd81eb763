// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace tessaly {

/// The receiving end of the balloon feed: a local socket, private to the
/// user, on which other programs send messages (see
/// common/BalloonFeedClient.h, at most kBalloonFeedLimit bytes): a title and
/// a text for the balloon (`tessalyctl balloon`), or a request for the main
/// window (a second start), answered "OK\n" before it is shown. Each one is
/// answered "OK\n" or a reason and the connection closed. Clients are served
/// side by side, never waited for: one that sends no complete message within
/// kBalloonFeedClientMilliseconds is dropped, and beyond
/// kBalloonFeedMaxClients the one that has waited longest makes room.
/// When another copy of the program already listens for the same data
/// folder, this one does not. The desktop and the headless program alike
/// listen with it. UI thread only.
class BalloonFeed final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QString& title, const QString& text)>;

    /// Starts listening for the program running on `folder`; problems are
    /// reported on standard error and leave the feed closed.
    BalloonFeed(const std::string& folder, Handler handler, QObject* parent = nullptr);
    ~BalloonFeed() override;

    bool listening() const;
    /// What a request for the main window does; without it (headless) such
    /// requests are refused: there is no window.
    void setShowWindow(std::function<void()> show) { m_showWindow = std::move(show); }

private:
    void accept();
    void receive(QLocalSocket* client);
    /// Checks a complete message, hands it on, and gives the reply.
    QByteArray answer(const QByteArray& message);

    Handler m_handler;
    std::function<void()> m_showWindow;
    QLocalServer* m_server;
    /// Drops the client that came first among those not answered yet.
    void dropOldest();

    /// What a client sent so far.
    struct Pending {
        QByteArray message;
        bool answered = false;
        quint64 arrival = 0;
    };
    std::map<QLocalSocket*, Pending> m_buffers;
    quint64 m_arrivals = 0;
};

} // namespace tessaly

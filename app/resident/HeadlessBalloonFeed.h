// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {

class HeadlessBalloon;

/// The balloon feed of the headless program: the same local socket and
/// messages as the desktop program's (see common/BalloonFeedClient.h), so
/// that `tessalyctl balloon` reaches either. Serves up to
/// kBalloonFeedMaxClients clients side by side on a thread of its own,
/// never waiting on one; a client that sends no whole message within
/// kBalloonFeedClientMilliseconds is dropped. A request for the main window
/// is refused, since there is none. No Qt.
class HeadlessBalloonFeed final {
public:
    /// Starts listening for the program running on `folder`; balloons go to
    /// `balloon` (from the feed's thread). Problems are reported on `log`
    /// and leave the feed closed. Both must outlive the feed.
    HeadlessBalloonFeed(const std::string& folder, HeadlessBalloon& balloon, std::ostream& log);
    /// Stops the thread and removes the socket.
    ~HeadlessBalloonFeed();

    HeadlessBalloonFeed(const HeadlessBalloonFeed&) = delete;
    HeadlessBalloonFeed& operator=(const HeadlessBalloonFeed&) = delete;

    bool listening() const { return m_listen >= 0; }

private:
    struct Client;

    bool open(const std::string& folder, std::string* error);
    void serve();
    /// Takes the connections waiting on the socket; false when the
    /// process has no room for one (no descriptor or memory left).
    bool accept(std::vector<Client>& clients);
    /// Reads from the clients that `ready` (their poll results, or null)
    /// shows have sent something, and drops those done with or past their
    /// time.
    void tend(std::vector<Client>& clients, const pollfd* ready);
    /// Reads what `client` sent; false once it is done with (answered or gone).
    bool receive(Client& client);
    void answer(int client, const std::string& message);

    HeadlessBalloon& m_balloon;
    std::string m_path;
    int m_listen = -1;
    int m_wake[2] = {-1, -1}; ///< written to on destruction: the thread ends
    std::thread m_thread;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>
#include <thread>

namespace tessaly {

class HeadlessBalloon;

/// The balloon feed of the headless program: the same local socket and
/// messages as the desktop program's (see common/BalloonFeedClient.h), so
/// that `tessalyctl balloon` reaches either. Serves one client at a time on
/// a thread of its own; a client that sends no whole message within five
/// seconds is dropped. A request for the main window is refused, since there
/// is none. No Qt.
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
    bool open(const std::string& folder, std::string* error);
    void serve();
    void answer(int client);

    HeadlessBalloon& m_balloon;
    std::string m_path;
    int m_listen = -1;
    int m_wake[2] = {-1, -1}; ///< written to on destruction: the thread ends
    std::thread m_thread;
};

} // namespace tessaly

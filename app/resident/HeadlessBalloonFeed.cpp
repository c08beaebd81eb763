// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloonFeed.h"

#include "common/BalloonFeedClient.h"
#include "resident/HeadlessBalloon.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaly {

namespace {

/// How long a client has to send its whole message.
constexpr std::chrono::seconds kClientTime{5};

sockaddr_un Address(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

/// True when a program answers on the socket `path`.
bool SomeoneListens(const std::string& path)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const sockaddr_un address = Address(path);
    const bool answered = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return answered;
}

void SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace

HeadlessBalloonFeed::HeadlessBalloonFeed(const std::string& folder, HeadlessBalloon& balloon, std::ostream& log)
    : m_balloon(balloon)
{
    std::string error;
    if (!open(folder, &error)) {
        log << "tessaly: no balloon feed: " << error << std::endl;
        if (m_listen >= 0)
            ::close(m_listen);
        m_listen = -1;
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

HeadlessBalloonFeed::~HeadlessBalloonFeed()
{
    if (m_thread.joinable()) {
        const char stop = 's';
        while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
}

bool HeadlessBalloonFeed::open(const std::string& folder, std::string* error)
{
    const std::optional<std::string> path = BalloonFeedSocketPath(folder, true, error);
    if (!path)
        return false;
    if (SomeoneListens(*path)) {
        *error = "another copy of the program feeds the balloon of " + folder;
        return false;
    }
    // What is left there is a socket of an ended run; anything else is not ours.
    struct stat info {};
    if (::lstat(path->c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            *error = *path + " is in the way and is not a socket";
            return false;
        }
        ::unlink(path->c_str());
    }
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(*path);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path->c_str(), 0600) != 0 || ::listen(m_listen, 8) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        *error = *path + ": " + std::strerror(errno);
        return false;
    }
    m_path = *path;
    return true;
}

void HeadlessBalloonFeed::serve()
{
    for (;;) {
        pollfd ready[2] = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (ready[0].revents != 0)
            return;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
    }
}

void HeadlessBalloonFeed::answer(int client)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kClientTime;
    std::string message;
    char buffer[4096];
    while (!BalloonFeedMessageEnded(message)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return; // too slow: dropped without an answer
        pollfd ready[2] = {{m_wake[0], POLLIN, 0}, {client, POLLIN, 0}};
        const int count = ::poll(ready, 2, static_cast<int>(left));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || ready[0].revents != 0)
            return;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the client stopped sending: what came is judged as it is
        message.append(buffer, static_cast<size_t>(n));
    }
    const BalloonFeedMessage parsed = ParseBalloonFeedMessage(message);
    switch (parsed.kind) {
    case BalloonFeedMessage::Kind::Refused: SendAll(client, parsed.reply); return;
    case BalloonFeedMessage::Kind::ShowWindow:
        SendAll(client, "the program runs without a desktop and has no window\n");
        return;
    case BalloonFeedMessage::Kind::Balloon:
        m_balloon.SetFeedTexts(parsed.title, parsed.text);
        SendAll(client, kBalloonFeedAccepted);
        return;
    }
}

} // namespace tessaly

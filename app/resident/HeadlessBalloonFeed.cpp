// SPDX-License-Identifier: MIT
#include "resident/HeadlessBalloonFeed.h"

#include "common/BalloonFeedClient.h"
#include "common/FileSystem.h"
#include "resident/HeadlessBalloon.h"

#include <algorithm>
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

using Clock = std::chrono::steady_clock;

/// How long a client has to send its whole message.
constexpr std::chrono::milliseconds kClientTime{kBalloonFeedClientMilliseconds};
/// How long the feed leaves new connections waiting when it cannot take
/// them (no descriptor left), instead of trying again at once.
constexpr std::chrono::seconds kAcceptPause{1};

/// Milliseconds from now to `until` for poll(), at least 0.
int MillisecondsUntil(Clock::time_point until)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

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
        const ssize_t n = RetryOnEintr([&] { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); });
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace

/// A connection whose message is still coming.
struct HeadlessBalloonFeed::Client {
    int fd = -1;
    std::string message;
    Clock::time_point deadline;
};

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
        RetryOnEintr([&] { return ::write(m_wake[1], &stop, 1); });
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
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = Address(*path);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path->c_str(), 0600) != 0 || ::listen(m_listen, 64) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        *error = *path + ": " + std::strerror(errno);
        return false;
    }
    m_path = *path;
    return true;
}

void HeadlessBalloonFeed::serve()
{
    std::vector<Client> clients;
    std::vector<pollfd> ready;
    Clock::time_point acceptAgain; // after connections could not be taken
    for (;;) {
        const bool accepting = Clock::now() >= acceptAgain;
        ready.assign({{m_wake[0], POLLIN, 0}, {m_listen, static_cast<short>(accepting ? POLLIN : 0), 0}});
        for (const Client& client : clients)
            ready.push_back({client.fd, POLLIN, 0});
        // Every client has the same time, so the first to come is the first due.
        int timeout = clients.empty() ? -1 : MillisecondsUntil(clients.front().deadline);
        if (!accepting)
            timeout = timeout < 0 ? MillisecondsUntil(acceptAgain) : std::min(timeout, MillisecondsUntil(acceptAgain));
        const int count = ::poll(ready.data(), ready.size(), timeout);
        if (count < 0 && errno != EINTR)
            break;
        if (count > 0 && ready[0].revents != 0)
            break;
        tend(clients, count > 0 ? ready.data() + 2 : nullptr);
        if (count > 0 && ready[1].revents != 0 && !accept(clients))
            acceptAgain = Clock::now() + kAcceptPause;
    }
    for (const Client& client : clients)
        ::close(client.fd);
}

void HeadlessBalloonFeed::tend(std::vector<Client>& clients, const pollfd* ready)
{
    const Clock::time_point now = Clock::now();
    std::vector<Client> waiting;
    for (size_t i = 0; i < clients.size(); ++i) {
        const bool sent = ready && ready[i].revents != 0;
        // One past its time is dropped without an answer.
        if ((sent && !receive(clients[i])) || now >= clients[i].deadline)
            ::close(clients[i].fd);
        else
            waiting.push_back(std::move(clients[i]));
    }
    clients.swap(waiting);
}

bool HeadlessBalloonFeed::accept(std::vector<Client>& clients)
{
    for (;;) {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 && (errno == EINTR || errno == ECONNABORTED))
            continue;
        if (fd < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        if (clients.size() >= kBalloonFeedMaxClients) {
            ::close(clients.front().fd);
            clients.erase(clients.begin());
        }
        clients.push_back({fd, {}, Clock::now() + kClientTime});
    }
}

bool HeadlessBalloonFeed::receive(Client& client)
{
    char buffer[4096];
    while (!BalloonFeedMessageEnded(client.message)) {
        const ssize_t n = RetryOnEintr([&] { return ::recv(client.fd, buffer, sizeof buffer, 0); });
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK; // more to come, or gone
        if (n == 0)
            break; // the client stopped sending: what came is judged as it is
        client.message.append(buffer, static_cast<size_t>(n));
    }
    answer(client.fd, client.message);
    return false;
}

void HeadlessBalloonFeed::answer(int client, const std::string& message)
{
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

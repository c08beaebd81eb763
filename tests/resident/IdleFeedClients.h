// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace tessaly::test {

/// Connections to a balloon feed that never send a thing, as a stuck or
/// hostile client would hold them. Closed when destroyed.
class IdleFeedClients final {
public:
    IdleFeedClients(const std::string& path, size_t count)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        for (size_t i = 0; i < count; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                m_fds.push_back(fd);
            else
                ::close(fd);
        }
    }
    ~IdleFeedClients()
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    IdleFeedClients(const IdleFeedClients&) = delete;
    IdleFeedClients& operator=(const IdleFeedClients&) = delete;

    size_t connected() const { return m_fds.size(); }

    /// How many the feed has hung up on by now.
    size_t hungUp() const
    {
        size_t count = 0;
        for (int fd : m_fds) {
            char byte = 0;
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
                ++count;
        }
        return count;
    }

    /// True once the feed has hung up on every one, waiting at most
    /// `bound` in all.
    bool allHungUp(std::chrono::seconds bound) const
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        for (int fd : m_fds) {
            char byte = 0;
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                pollfd ready{fd, POLLIN, 0};
                if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                    return false;
                if (::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0)
                    break; // end of file or reset: hung up
            }
        }
        return true;
    }

private:
    std::vector<int> m_fds;
};

} // namespace tessaly::test

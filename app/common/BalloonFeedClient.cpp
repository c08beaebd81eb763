// SPDX-License-Identifier: MIT
#include "common/BalloonFeedClient.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaly {

namespace {

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

/// True when `path` is a folder of ours that nobody else may enter.
bool IsPrivateFolder(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

/// FNV-1a over the folder's canonical path, so one folder gives one name.
std::string FolderKey(const std::string& folder)
{
    char* real = ::realpath(folder.c_str(), nullptr);
    const std::string canonical = real ? real : folder;
    std::free(real);
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : canonical)
        hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

class Socket final {
public:
    Socket() : fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

bool SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

/// The program's answer, read until it closes (at most five seconds).
std::string ReadReply(int fd)
{
    std::string reply;
    char buffer[256];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0)
            return reply;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || reply.size() > 4096)
            return reply;
        reply.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

std::optional<std::string> BalloonFeedSocketPath(const std::string& folder, bool create, std::string* error)
{
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && runtime[0] == '/' && IsPrivateFolder(runtime)) {
        base = runtime;
    } else {
        base = "/tmp/tessaly-" + std::to_string(::getuid());
        if (create && ::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
            Fail(error, base + ": " + std::strerror(errno));
            return std::nullopt;
        }
        if (create && !IsPrivateFolder(base)) {
            Fail(error, base + " is not a private folder of this user");
            return std::nullopt;
        }
    }
    std::string path = base + "/tessaly-" + FolderKey(folder) + ".sock";
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        Fail(error, path + ": the path is too long for a local socket");
        return std::nullopt;
    }
    return path;
}

bool SendBalloonFeed(const std::string& folder, std::string_view title, std::string_view text, std::string* error)
{
    if (title.find('\0') != std::string_view::npos || text.find('\0') != std::string_view::npos)
        return Fail(error, "the texts must not hold NUL characters");
    if (title.size() + text.size() + 2 > kBalloonFeedLimit)
        return Fail(error, "the texts are too long");
    const std::optional<std::string> path = BalloonFeedSocketPath(folder, false, error);
    if (!path)
        return false;
    Socket socket;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
    if (socket.fd < 0 || ::connect(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return Fail(error, "Tessaly is not running on " + folder);
    std::string message(title);
    message += '\0';
    message += text;
    message += '\0';
    if (!SendAll(socket.fd, message))
        return Fail(error, std::string("the texts could not be sent: ") + std::strerror(errno));
    const std::string reply = ReadReply(socket.fd);
    if (reply == "OK\n")
        return true;
    return Fail(error, reply.empty() ? "Tessaly did not answer" : "Tessaly refused the texts: " + reply);
}

} // namespace tessaly

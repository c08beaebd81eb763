// SPDX-License-Identifier: MIT
#include "common/BalloonFeedClient.h"

#include "common/FileSystem.h"
#include "common/PathField.h"

#include <algorithm>
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

/// Why `path` is not a folder of ours that nobody else may enter (mode
/// 0700 or stricter, not a link); "" when it is one.
std::string PrivateFolderProblem(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return std::string("cannot be examined: ") + std::strerror(errno);
    if (S_ISLNK(info.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return "is not a folder";
    if (info.st_uid != ::getuid())
        return "belongs to another user";
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("can be entered by other users (mode ") + mode + ", not 0700)";
    }
    return {};
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
        const ssize_t n = RetryOnEintr([&] { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); });
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
        const ssize_t n = RetryOnEintr([&] { return ::recv(fd, buffer, sizeof buffer, 0); });
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
        runtime && runtime[0] == '/' && PrivateFolderProblem(runtime).empty()) {
        base = runtime;
    } else {
        base = "/tmp/tessaly-" + std::to_string(::getuid());
        if (create && ::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
            Fail(error, base + ": " + std::strerror(errno));
            return std::nullopt;
        }
        // Both ends check the folder the same way: a folder someone else
        // made or can enter could hold a socket of theirs under our name.
        struct stat info {};
        if (!create && ::lstat(base.c_str(), &info) != 0 && errno == ENOENT) {
            Fail(error, "Tessaly is not running on " + folder);
            return std::nullopt;
        }
        if (std::string problem = PrivateFolderProblem(base); !problem.empty()) {
            Fail(error, "the socket folder " + base + " " + problem + "; it is not used");
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

namespace {

/// Sends one message (kind, first NUL second NUL) to the program running
/// on `folder` and gives its answer; nothing with `error` set when it
/// cannot be reached.
std::optional<std::string> Exchange(const std::string& folder, BalloonFeedMessage::Kind kind, std::string_view first,
                                    std::string_view second, std::string* error)
{
    const std::optional<std::string> path = BalloonFeedSocketPath(folder, false, error);
    if (!path)
        return std::nullopt;
    Socket socket;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
    if (socket.fd < 0 || ::connect(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Fail(error, "Tessaly is not running on " + folder);
        return std::nullopt;
    }
    std::string message(1, static_cast<char>(kind));
    message += first;
    message += '\0';
    message += second;
    message += '\0';
    if (!SendAll(socket.fd, message)) {
        Fail(error, std::string("the message could not be sent: ") + std::strerror(errno));
        return std::nullopt;
    }
    return ReadReply(socket.fd);
}

bool KnownKind(char kind)
{
    using Kind = BalloonFeedMessage::Kind;
    return kind == static_cast<char>(Kind::Balloon) || kind == static_cast<char>(Kind::ShowWindow);
}

} // namespace

bool BalloonFeedMessageEnded(std::string_view received)
{
    // One of no known kind is answered at once.
    return received.size() > kBalloonFeedLimit ||
           (!received.empty() &&
            (!KnownKind(received.front()) || std::count(received.begin() + 1, received.end(), '\0') >= 2));
}

BalloonFeedMessage ParseBalloonFeedMessage(std::string_view message)
{
    BalloonFeedMessage result;
    if (message.size() > kBalloonFeedLimit) {
        result.reply = "the texts are too long\n";
        return result;
    }
    if (message.empty() || !KnownKind(message.front())) {
        result.reply = "unknown request\n";
        return result;
    }
    const auto kind = static_cast<BalloonFeedMessage::Kind>(message.front());
    message.remove_prefix(1);
    const size_t first = message.find('\0');
    const size_t second = first == std::string_view::npos ? first : message.find('\0', first + 1);
    if (second == std::string_view::npos || second + 1 != message.size()) {
        result.reply = "expected a title and a text, each ended by NUL\n";
        return result;
    }
    const std::string_view title = message.substr(0, first);
    const std::string_view text = message.substr(first + 1, second - first - 1);
    if (kind == BalloonFeedMessage::Kind::ShowWindow) {
        if (!title.empty() || !text.empty()) {
            result.reply = "a request for the main window carries no texts\n";
            return result;
        }
        result.kind = kind;
        return result;
    }
    if (ValidUtf8(title) != title || ValidUtf8(text) != text) {
        result.reply = "the texts are not UTF-8\n";
        return result;
    }
    result.kind = BalloonFeedMessage::Kind::Balloon;
    result.title = title;
    result.text = text;
    return result;
}

bool SendBalloonFeed(const std::string& folder, std::string_view title, std::string_view text, std::string* error)
{
    if (title.find('\0') != std::string_view::npos || text.find('\0') != std::string_view::npos)
        return Fail(error, "the texts must not hold NUL characters");
    if (title.size() + text.size() + 3 > kBalloonFeedLimit)
        return Fail(error, "the texts are too long");
    const std::optional<std::string> reply = Exchange(folder, BalloonFeedMessage::Kind::Balloon, title, text, error);
    if (!reply)
        return false;
    if (*reply == "OK\n")
        return true;
    return Fail(error, reply->empty() ? "Tessaly did not answer" : "Tessaly refused the texts: " + *reply);
}

bool RequestMainWindow(const std::string& folder, std::string* error)
{
    const std::optional<std::string> reply = Exchange(folder, BalloonFeedMessage::Kind::ShowWindow, {}, {}, error);
    if (!reply)
        return false;
    if (*reply == "OK\n")
        return true;
    return Fail(error, reply->empty() ? "Tessaly did not answer" : "Tessaly refused: " + *reply);
}

} // namespace tessaly

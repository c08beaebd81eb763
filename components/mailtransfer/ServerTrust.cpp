// SPDX-License-Identifier: MIT
#include "ServerTrust.h"

#include "common/FileSystem.h"
#include "common/PathField.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessaly::mail {
namespace {

/// Far more than any number of servers a user sets up; a larger file is
/// not this record.
constexpr off_t kMaxSize = 1024 * 1024;

/// The comment that opens a new record.
constexpr std::string_view kHeader[] = {
    "# Tessaly: certificates of mail servers trusted on first use, and servers that offer STARTTLS.",
    "# To trust a server's new certificate, delete its \"sha256\" line.",
};

class Descriptor final {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

/// An exclusive lock on the data folder itself while the record is read
/// and replaced; given up waiting after a few seconds (the record is then
/// written without it rather than not at all).
class FolderLock final {
public:
    explicit FolderLock(const std::string& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd.get() < 0)
            return;
        for (int attempt = 0; attempt < 250; ++attempt) {
            if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    Descriptor m_fd; // closing it lets go of the lock
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = RetryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

std::string FingerprintText(const unsigned char* digest, size_t size)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        if (i > 0)
            text.push_back(':');
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

ServerTrust::ServerTrust(std::string folder) : m_folder(std::move(folder))
{
    if (!m_folder.empty())
        m_path = JoinPath(m_folder == "/" ? "" : m_folder, kFileName);
}

std::string ServerTrust::FolderOf(std::string_view filePath)
{
    if (filePath.empty())
        return {};
    size_t slash = filePath.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return slash == 0 ? "/" : std::string(filePath.substr(0, slash));
}

std::string ServerTrust::KeyOf(std::string_view hostAndPort)
{
    std::string key(hostAndPort);
    for (char& c : key)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return key;
}

bool ServerTrust::Read(std::vector<Line>* lines, std::string* error) const
{
    lines->clear();
    if (m_path.empty())
        return true;
    const std::string shown = ValidUtf8(m_path);
    Descriptor fd(::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return true;
        *error = errno == ELOOP ? "サーバー証明書の記録 " + shown + " がシンボリックリンクのため使えません"
                                : "サーバー証明書の記録 " + shown + " を読めません (" + ErrorText(errno) + ")";
        return false;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > kMaxSize) {
        *error = "サーバー証明書の記録 " + shown + " が通常のファイルではありません";
        return false;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd.get(), buffer, sizeof buffer); });
        if (n < 0) {
            *error = "サーバー証明書の記録 " + shown + " を読めません (" + ErrorText(errno) + ")";
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        Line line{raw, {}, {}, {}};
        std::istringstream words(raw);
        std::string key, kind, value, extra;
        words >> key >> kind >> value >> extra;
        if (!key.empty() && key[0] != '#' && extra.empty()) {
            if (kind == "sha256" && !value.empty())
                line = {raw, KeyOf(key), kind, value};
            else if (kind == "starttls" && value.empty())
                line = {raw, KeyOf(key), kind, {}};
        }
        lines->push_back(std::move(line));
    }
    return true;
}

bool ServerTrust::Load(std::string* error)
{
    return Read(&m_lines, error);
}

const ServerTrust::Line* ServerTrust::Find(std::string_view key, std::string_view kind) const
{
    for (const Line& line : m_lines) {
        if (line.key == key && line.kind == kind)
            return &line;
    }
    return nullptr;
}

std::string ServerTrust::Fingerprint(std::string_view key) const
{
    const Line* line = Find(key, "sha256");
    return line ? line->value : std::string();
}

bool ServerTrust::OffersStartTls(std::string_view key) const
{
    return Find(key, "starttls") != nullptr;
}

bool ServerTrust::Write(const std::vector<Line>& lines, std::string* error) const
{
    std::string text;
    for (const Line& line : lines)
        text += line.text + "\n";
    // A temporary file of its own (created exclusively, so never through a
    // link), made complete on disk before it takes the record's name.
    std::string temporary = m_path + ".tmp-XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    const std::string shown = ValidUtf8(m_path);
    if (fd.get() < 0) {
        *error = "サーバー証明書の記録 " + shown + " を書けません (" + ErrorText(errno) + ")";
        return false;
    }
    bool written = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0;
    int cause = errno;
    if (written && std::rename(temporary.c_str(), m_path.c_str()) == 0)
        return true;
    cause = written ? errno : cause;
    ::unlink(temporary.c_str());
    *error = "サーバー証明書の記録 " + shown + " を書けません (" + ErrorText(cause) + ")";
    return false;
}

bool ServerTrust::Record(std::string_view key, std::string_view fingerprint, bool startTls, std::string* error)
{
    if (m_path.empty())
        return true;
    FolderLock lock(m_folder);
    if (!Load(error))
        return false;
    std::vector<Line> added;
    if (!fingerprint.empty() && !Find(key, "sha256"))
        added.push_back({std::string(key) + " sha256 " + std::string(fingerprint), std::string(key), "sha256",
                         std::string(fingerprint)});
    if (startTls && !OffersStartTls(key))
        added.push_back({std::string(key) + " starttls", std::string(key), "starttls", {}});
    if (added.empty())
        return true;
    std::vector<Line> lines = m_lines;
    if (lines.empty()) {
        for (std::string_view comment : kHeader)
            lines.push_back({std::string(comment), {}, {}, {}});
    }
    lines.insert(lines.end(), added.begin(), added.end());
    if (!Write(lines, error))
        return false;
    m_lines = std::move(lines);
    return true;
}

} // namespace tessaly::mail

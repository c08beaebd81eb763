// SPDX-License-Identifier: MIT
#include "TransferLog.h"

#include "common/FileSystem.h"
#include "common/PathField.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::mail {
namespace {

constexpr off_t kRotateSize = 1024 * 1024;
constexpr std::string_view kMask = "****";

bool StartsWithWord(std::string_view line, std::string_view word)
{
    return line.size() >= word.size() && ::strncasecmp(line.data(), word.data(), word.size()) == 0 &&
           (line.size() == word.size() || line[word.size()] == ' ');
}

std::string LocalTimeText()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

} // namespace

TransferLog::TransferLog(std::string path) : m_path(std::move(path)) {}

TransferLog::~TransferLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int TransferLog::OpenFile() const
{
    constexpr int flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(m_path.c_str(), flags, 0600);
    if (fd < 0)
        return errno == ELOOP || errno == ENXIO ? -2 : -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -2;
    }
    if (status.st_size <= kRotateSize)
        return fd;
    // Grown too large: set aside (the name moves, whatever it is) and
    // start a new one.
    ::close(fd);
    std::rename(m_path.c_str(), (m_path + ".old").c_str());
    fd = ::open(m_path.c_str(), flags | O_EXCL, 0600);
    if (fd < 0)
        return errno == EEXIST || errno == ELOOP ? -2 : -1;
    return fd;
}

bool TransferLog::Open(std::string* error)
{
    if (m_opened || m_path.empty())
        return m_fd != -2;
    m_opened = true;
    m_fd = OpenFile();
    if (m_fd != -2)
        return true;
    *error = "メールのログ " + ValidUtf8(m_path) +
             " が通常のファイルではない (シンボリックリンクやパイプなど) ため、メールを送りませんでした";
    return false;
}

void TransferLog::Begin(std::string_view title)
{
    m_lines.clear();
    m_inAuth = false;
    m_lines.push_back("---- " + LocalTimeText() + " " + std::string(title));
}

void TransferLog::AddSecret(std::string secret)
{
    if (secret.size() >= 4)
        m_secrets.push_back(std::move(secret));
}

std::string TransferLog::Masked(std::string_view line)
{
    std::string text(line);
    for (const std::string& secret : m_secrets) {
        for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + kMask.size()))
            text.replace(at, secret.size(), kMask);
    }
    return text;
}

void TransferLog::Add(std::string_view prefix, std::string_view text)
{
    m_lines.push_back(std::string(prefix) + Masked(text));
}

void TransferLog::Sent(std::string_view line)
{
    if (StartsWithWord(line, "AUTH")) {
        // "AUTH PLAIN <initial response>": keep the mechanism only.
        size_t end = line.find(' ', 5);
        m_inAuth = true;
        Add("> ", std::string(line.substr(0, end)) + (end == std::string_view::npos ? "" : " ****"));
    } else if (StartsWithWord(line, "PASS")) {
        Add("> ", "PASS ****");
    } else if (m_inAuth) {
        Add("> ", kMask);
    } else {
        Add("> ", line);
    }
}

void TransferLog::Received(std::string_view line)
{
    // Challenges of an AUTH exchange: "334 ..." (SMTP) or "+ ..." (POP3).
    if (m_inAuth && (StartsWithWord(line, "334") || line == "+" || StartsWithWord(line, "+"))) {
        Add("< ", std::string(line.substr(0, line.find(' '))) + " ****");
        return;
    }
    m_inAuth = false;
    Add("< ", line);
}

void TransferLog::Note(std::string_view text)
{
    Add("* ", text);
}

void TransferLog::Finish(std::string_view result)
{
    m_lines.push_back(result.empty() ? std::string("= accepted") : "= failed: " + Masked(result));
    if (m_path.empty())
        return;
    std::string block;
    for (const std::string& line : m_lines)
        block += line + "\r\n";
    // A server or a path may bring bytes that are not UTF-8; the file stays
    // readable text.
    block = ValidUtf8(block);
    std::string ignored;
    Open(&ignored);
    m_opened = false; // the next block opens the file again
    if (m_fd < 0) {
        m_fd = -1;
        return;
    }
    const char* data = block.data();
    size_t left = block.size();
    while (left > 0) {
        const ssize_t n = RetryOnEintr([&] { return ::write(m_fd, data, left); });
        if (n <= 0)
            break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(m_fd);
    m_fd = -1;
}

} // namespace tessaly::mail

// SPDX-License-Identifier: MIT
#include "resident/InstanceLock.h"

#include "common/BalloonFeedClient.h"
#include "common/FileSystem.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessaly {
namespace {

constexpr std::string_view kDesktopText = "desktop\n";
constexpr std::string_view kHeadlessText = "headless\n";

/// How long a second desktop start waits for the first copy to take its
/// requests: the first may still be starting.
constexpr std::chrono::seconds kAnswerWait{10};

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool InstanceLock::openFile()
{
    if (m_fd >= 0)
        return true;
    const std::string path = JoinPath(m_folder, kInstanceLockFileName);
    std::string reason;
    const int fd = OpenRegularFile(path, &reason, O_RDWR | O_CREAT);
    if (fd < 0) {
        m_error = path + " を開けません: " + reason;
        return false;
    }
    struct stat st {};
    ::fstat(fd, &st);
    if ((st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    m_fd = fd;
    return true;
}

InstanceLock::Outcome InstanceLock::acquire(Mode mode)
{
    if (m_held)
        return Outcome::Held;
    if (!openFile())
        return Outcome::Failed;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR)
            return Outcome::HeldByAnother;
        m_error = JoinPath(m_folder, kInstanceLockFileName) + " をロックできません: " + ErrorText(errno);
        return Outcome::Failed;
    }
    m_held = true;
    const std::string_view text = mode == Mode::Desktop ? kDesktopText : kHeadlessText;
    if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        // The lock holds all the same; a second start then cannot tell the
        // mode and says that no answer came.
    }
    return Outcome::Held;
}

std::optional<InstanceLock::Mode> InstanceLock::holderMode() const
{
    char text[16] = {};
    const ssize_t n = m_fd < 0 ? -1 : ::pread(m_fd, text, sizeof text, 0);
    const std::string_view written(text, n > 0 ? static_cast<size_t>(n) : 0);
    if (written == kDesktopText)
        return Mode::Desktop;
    if (written == kHeadlessText)
        return Mode::Headless;
    return std::nullopt;
}

std::optional<int> HandOverToRunningCopy(InstanceLock& lock, InstanceLock::Mode mode, const std::string& folder,
                                         const std::function<void(const std::string& text)>& showMessage,
                                         const std::function<void(const std::string& text)>& notify)
{
    if (mode == InstanceLock::Mode::Headless) {
        showMessage("データフォルダ " + folder + " では Tessaly がすでに実行中です。");
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + kAnswerWait;
    for (;;) {
        const std::optional<InstanceLock::Mode> holder = lock.holderMode();
        if (holder == InstanceLock::Mode::Headless) {
            // The program does run on the folder (a user service, most
            // likely, started before this login): told once, in passing.
            notify("Tessaly はデータフォルダ " + folder +
                   " で、デスクトップなしで(サービスとして)すでに実行中です。通知はそのサービスが出します。"
                   "操作には tessalyctl を使ってください。");
            return 0;
        }
        std::string error;
        if (holder == InstanceLock::Mode::Desktop && RequestMainWindow(folder, &error))
            return 0;
        if (std::chrono::steady_clock::now() >= end) {
            showMessage("データフォルダ " + folder + " では Tessaly がすでに実行中ですが、応答がありません。");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // The other copy may have ended meanwhile; then this one takes over.
        switch (lock.acquire(mode)) {
        case InstanceLock::Outcome::Held: return std::nullopt;
        case InstanceLock::Outcome::Failed: showMessage(lock.error()); return 1;
        case InstanceLock::Outcome::HeldByAnother: break;
        }
    }
}

} // namespace tessaly

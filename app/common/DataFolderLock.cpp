// SPDX-License-Identifier: MIT
#include "common/DataFolderLock.h"

#include "common/FileSystem.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tessaly {

DataFolderLock::~DataFolderLock()
{
    release();
}

DataFolderLock::DataFolderLock(DataFolderLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

DataFolderLock& DataFolderLock::operator=(DataFolderLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void DataFolderLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor lets go of the flock
        m_fd = -1;
    }
}

DataFolderLock DataFolderLock::Acquire(const std::string& folder, double waitSeconds, std::string* error)
{
    const std::string path = JoinPath(folder, kDataLockFileName);
    std::string reason;
    const int fd = OpenRegularFile(path, &reason, O_RDWR | O_CREAT);
    if (fd < 0) {
        if (error)
            *error = path + " を開けません: " + reason;
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return DataFolderLock(fd);
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int cause = errno;
            ::close(fd);
            if (error)
                *error = path + " をロックできません: " + ErrorText(cause);
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fd);
    if (error)
        *error = std::string(kDataFolderBusy);
    return {};
}

} // namespace tessaly

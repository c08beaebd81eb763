// SPDX-License-Identifier: MIT
#include "common/DataFolderLock.h"

#include "common/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly {

namespace {

/// The data folders whose lock this process holds, with the handle each
/// lock keeps open.
struct HeldFolder {
    std::string folder;
    int fd;
};
std::mutex heldMutex;
std::vector<HeldFolder> heldFolders;

} // namespace

DataFolderLock::DataFolderLock(int fd, int folderFd, std::string folder)
    : m_fd(fd), m_folderFd(folderFd), m_folder(std::move(folder))
{
    const std::lock_guard<std::mutex> guard(heldMutex);
    heldFolders.push_back({m_folder, m_folderFd});
}

DataFolderLock::~DataFolderLock()
{
    release();
}

DataFolderLock::DataFolderLock(DataFolderLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_folderFd(std::exchange(other.m_folderFd, -1)),
      m_folder(std::move(other.m_folder)), m_trust(other.m_trust)
{
}

DataFolderLock& DataFolderLock::operator=(DataFolderLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_folderFd = std::exchange(other.m_folderFd, -1);
        m_folder = std::move(other.m_folder);
        m_trust = other.m_trust;
    }
    return *this;
}

void DataFolderLock::release()
{
    if (m_folderFd >= 0) {
        const std::lock_guard<std::mutex> guard(heldMutex);
        std::erase_if(heldFolders, [this](const HeldFolder& held) { return held.fd == m_folderFd; });
        ::close(m_folderFd);
        m_folderFd = -1;
    }
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor lets go of the flock
        m_fd = -1;
    }
}

DataFolderLock DataFolderLock::Acquire(const std::string& folder, double waitSeconds, std::string* error)
{
    const std::string path = JoinPath(folder, kDataLockFileName);
    // The folder's trust is checked on the folder that is then used: a
    // folder others could write, or one put in its place, is refused
    // before anything in it is opened.
    const int folderFd = OpenDataFolder(folder);
    const DataFolderTrust trust = folderFd < 0 ? DataFolderTrust::NotAFolder : CheckDataFolderTrust(folderFd);
    if (trust != DataFolderTrust::Trusted) {
        if (folderFd >= 0)
            ::close(folderFd);
        if (error)
            *error = DataFolderRefusal(trust, folder);
        DataFolderLock refused;
        refused.m_trust = trust;
        return refused;
    }
    std::string reason;
    const int fd = OpenRegularFileAt(folderFd, std::string(kDataLockFileName), &reason, O_RDWR | O_CREAT);
    if (fd < 0) {
        ::close(folderFd);
        if (error)
            *error = path + " を開けません: " + reason;
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return DataFolderLock(fd, folderFd, folder);
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int cause = errno;
            ::close(fd);
            ::close(folderFd);
            if (error)
                *error = path + " をロックできません: " + ErrorText(cause);
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fd);
    ::close(folderFd);
    if (error)
        *error = std::string(kDataFolderBusy);
    return {};
}

HeldFolderWrite CheckHeldFolderWrite(const std::string& path, int* folderFd, std::string* name, std::string* error)
{
    const std::lock_guard<std::mutex> guard(heldMutex);
    for (const HeldFolder& held : heldFolders) {
        const bool under = path.size() > held.folder.size() + 1 &&
                           path.compare(0, held.folder.size(), held.folder) == 0 && path[held.folder.size()] == '/';
        if (!under)
            continue;
        if (const DataFolderTrust trust = CheckDataFolderTrust(held.fd); trust != DataFolderTrust::Trusted) {
            if (error)
                *error = DataFolderRefusal(trust, held.folder);
            return HeldFolderWrite::Refused;
        }
        std::string rest = path.substr(held.folder.size() + 1);
        if (rest.find('/') != std::string::npos)
            return HeldFolderWrite::Free; // in a folder of its own under the data folder
        *folderFd = ::fcntl(held.fd, F_DUPFD_CLOEXEC, 0);
        if (*folderFd < 0)
            return HeldFolderWrite::Free;
        *name = std::move(rest);
        return HeldFolderWrite::Held;
    }
    return HeldFolderWrite::Free;
}

int OpenDataFileForWriting(const std::string& path, std::string* error, int access)
{
    int folderFd = -1;
    std::string name;
    switch (CheckHeldFolderWrite(path, &folderFd, &name, error)) {
    case HeldFolderWrite::Free: break;
    case HeldFolderWrite::Refused: return -1;
    case HeldFolderWrite::Held: {
        const int fd = OpenRegularFileAt(folderFd, name, error, access);
        ::close(folderFd);
        return fd;
    }
    }
    return OpenRegularFile(path, error, access);
}

} // namespace tessaly

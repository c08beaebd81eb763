// SPDX-License-Identifier: MIT
#include "common/AtomicFile.h"

#include "common/DataFolderLock.h"
#include "common/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

std::string FolderPart(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// Six letters or digits for a temporary name, as mkstemp draws them.
std::string RandomSuffix()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Without randomness (a filter that forbids the call) the clock and a
        // counter still give each name of this process a suffix of its own.
        static std::atomic<uint64_t> counter{0};
        uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (counter.fetch_add(1) << 40);
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(seed);
            seed = seed >> 8 | seed << 56;
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix.push_back(kLetters[byte % (sizeof kLetters - 1)]);
    return suffix;
}

} // namespace

AtomicFile::AtomicFile(std::string targetPath, mode_t mode) : m_targetPath(std::move(targetPath)), m_mode(mode) {}

AtomicFile::~AtomicFile()
{
    discard();
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

bool AtomicFile::fail(const char* what, int errorNumber)
{
    m_failed = true;
    m_error = m_tempPath + " " + what + ": " + ErrorText(errorNumber);
    discard();
    return false;
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
    }
}

bool AtomicFile::open()
{
    m_failed = false;
    m_error.clear();
    int folderFd = -1;
    std::string name;
    switch (CheckHeldFolderWrite(m_targetPath, &folderFd, &name, &m_error)) {
    case HeldFolderWrite::Refused: m_failed = true; return false;
    case HeldFolderWrite::Held: return openIn(folderFd, name);
    case HeldFolderWrite::Free: break;
    }
    if (m_folderFd >= 0)
        ::close(m_folderFd);
    m_folderFd = AT_FDCWD;
    // mkstemp makes a new file of a name nobody else uses, owner-only.
    std::string path = m_targetPath + ".tmp-XXXXXX";
    m_fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_failed = true;
        m_error = m_targetPath + ".tmp-XXXXXX を作成できません: " + ErrorText(errno);
        return false;
    }
    m_tempPath = m_tempName = std::move(path);
    m_targetName = m_targetPath;
    if (m_mode != 0600 && ::fchmod(m_fd, m_mode) != 0)
        return fail("の権限を設定できません", errno);
    return true;
}

bool AtomicFile::openIn(int folderFd, const std::string& name)
{
    if (m_folderFd >= 0)
        ::close(m_folderFd);
    m_folderFd = folderFd;
    m_targetName = name;
    // What mkstemp does, relative to the folder's handle.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_tempName = name + ".tmp-" + RandomSuffix();
        m_fd = ::openat(m_folderFd, m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0 || errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_failed = true;
        m_error = m_targetPath + ".tmp-XXXXXX を作成できません: " + ErrorText(errno);
        return false;
    }
    m_tempPath = FolderPart(m_targetPath) + "/" + m_tempName;
    if (m_mode != 0600 && ::fchmod(m_fd, m_mode) != 0)
        return fail("の権限を設定できません", errno);
    return true;
}

bool AtomicFile::write(std::string_view bytes)
{
    if (m_failed || m_fd < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t n = RetryOnEintr([&] { return ::write(m_fd, bytes.data(), bytes.size()); });
        if (n < 0)
            return fail("に書き込めません", errno);
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool AtomicFile::commit()
{
    if (m_failed || m_fd < 0)
        return false;
    if (::fsync(m_fd) != 0)
        return fail("をディスクに書き出せません", errno);
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        int e = errno;
        ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
        m_failed = true;
        m_error = m_tempPath + " を閉じられません: " + ErrorText(e);
        return false;
    }
    if (::renameat(m_folderFd, m_tempName.c_str(), m_folderFd, m_targetName.c_str()) != 0) {
        int e = errno;
        ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
        m_failed = true;
        m_error = m_targetPath + " を置き換えられません: " + ErrorText(e);
        return false;
    }
    if (m_folderFd >= 0)
        ::fsync(m_folderFd);
    else
        SyncFolder(FolderPart(m_targetPath));
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error, mode_t mode)
{
    AtomicFile file(path, mode);
    bool ok = file.open() && file.write(bytes) && file.commit();
    if (!ok && error)
        *error = file.error();
    return ok;
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "common/AtomicFile.h"

#include "common/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
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

} // namespace

AtomicFile::AtomicFile(std::string targetPath, mode_t mode) : m_targetPath(std::move(targetPath)), m_mode(mode) {}

AtomicFile::~AtomicFile()
{
    discard();
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
        ::unlink(m_tempPath.c_str());
    }
}

bool AtomicFile::open()
{
    m_failed = false;
    m_error.clear();
    // mkstemp makes a new file of a name nobody else uses, owner-only.
    std::string name = m_targetPath + ".tmp-XXXXXX";
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_failed = true;
        m_error = m_targetPath + ".tmp-XXXXXX を作成できません: " + ErrorText(errno);
        return false;
    }
    m_tempPath = std::move(name);
    if (m_mode != 0600 && ::fchmod(m_fd, m_mode) != 0)
        return fail("の権限を設定できません", errno);
    return true;
}

bool AtomicFile::write(std::string_view bytes)
{
    if (m_failed || m_fd < 0)
        return false;
    while (!bytes.empty()) {
        ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("に書き込めません", errno);
        }
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
        ::unlink(m_tempPath.c_str());
        m_failed = true;
        m_error = m_tempPath + " を閉じられません: " + ErrorText(e);
        return false;
    }
    if (::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
        int e = errno;
        ::unlink(m_tempPath.c_str());
        m_failed = true;
        m_error = m_targetPath + " を置き換えられません: " + ErrorText(e);
        return false;
    }
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

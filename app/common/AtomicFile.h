// SPDX-License-Identifier: MIT
#pragma once

#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tessaly {

/// Replaces a whole file so that a crash or a full disk at any moment leaves
/// either the old file or the new one, never neither: the contents go to a
/// temporary file of a name of its own beside the target
/// ("<target>.tmp-XXXXXX", so that writers never share one), which is
/// flushed, fsynced and renamed over the target by commit(). The rename
/// replaces whatever had the target's name (a link included) and never
/// writes through it. Destroying an uncommitted AtomicFile removes the
/// temporary file and leaves the target untouched. A file right in a data
/// folder whose lock this process holds is written relative to the lock's
/// handle on the folder, and not at all when the folder is no longer to be
/// trusted (see CheckHeldFolderWrite). Not thread-safe.
class AtomicFile final {
public:
    /// `mode` is the permission of the new file, exactly (owner read and
    /// write only unless asked otherwise: data files are private).
    explicit AtomicFile(std::string targetPath, mode_t mode = 0600);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file. False with error() set on failure.
    bool open();
    /// Appends bytes. False (and every later call false) on failure.
    bool write(std::string_view bytes);
    /// Flushes, fsyncs and renames the temporary file over the target.
    bool commit();

    const std::string& error() const { return m_error; }
    const std::string& temporaryPath() const { return m_tempPath; }

private:
    bool fail(const char* what, int errorNumber);
    void discard();

    bool openIn(int folderFd, const std::string& name);

    std::string m_targetPath;
    std::string m_tempPath;
    /// The names the file calls use, relative to m_folderFd: the file's own
    /// names in a held data folder, else the paths themselves.
    std::string m_targetName;
    std::string m_tempName;
    mode_t m_mode;
    int m_folderFd = AT_FDCWD;
    int m_fd = -1;
    bool m_failed = false;
    std::string m_error;
};

/// Writes `bytes` as the whole new content of `path` through an AtomicFile.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error, mode_t mode = 0600);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/DataFolder.h"

#include <string>
#include <string_view>

namespace tessaly {

/// The name of the lock file in the data folder.
inline constexpr std::string_view kDataLockFileName = "tessaly.lock";

/// An exclusive lock on a data folder, held by every check run and every
/// read-modify-write of a data file (the program, its windows and
/// tessalyctl alike), so that they never overlap. It is an flock on
/// "tessaly.lock" in the folder (created 0600, never through a link), so
/// the kernel releases it when its holder ends, however that happens.
///
/// The lock is also where the folder's trust is checked at every use: it
/// opens the folder itself (OpenDataFolder), refuses one that is not the
/// user's own or that others may write (CheckDataFolderTrust on that open
/// handle), opens the lock file relative to it, and keeps the handle while
/// held. Every file written in the folder meanwhile (see
/// CheckHeldFolderWrite) is checked on that handle again and opened
/// relative to it. Move-only; released when destroyed.
class DataFolderLock final {
public:
    DataFolderLock() = default;
    ~DataFolderLock();
    DataFolderLock(DataFolderLock&& other) noexcept;
    DataFolderLock& operator=(DataFolderLock&& other) noexcept;
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    /// Takes the lock of `folder`, waiting at most `waitSeconds` for another
    /// holder to let go. On failure the returned lock is not held and
    /// `error` (when given) says why, in Japanese: for a folder that is not
    /// to be trusted, the message the program refuses it with at start
    /// (DataFolderRefusal), and trust() tells why.
    static DataFolderLock Acquire(const std::string& folder, double waitSeconds, std::string* error = nullptr);

    bool held() const { return m_fd >= 0; }
    /// What the folder was found to be when the lock was asked for:
    /// Trusted unless that is why the lock is not held.
    DataFolderTrust trust() const { return m_trust; }
    /// Lets go early.
    void release();

private:
    DataFolderLock(int fd, int folderFd, std::string folder);
    int m_fd = -1;
    int m_folderFd = -1;
    std::string m_folder;
    DataFolderTrust m_trust = DataFolderTrust::Trusted;
};

/// What a write of a file may do, by the locks this process holds.
enum class HeldFolderWrite {
    Free,    ///< nothing held stands in the way: the file is opened by its path
    Held,    ///< the file is right in a held data folder that is still trusted
    Refused, ///< the held data folder it is in is no longer to be trusted
};

/// Asked by every writer of a data file (OpenDataFileForWriting,
/// AtomicFile) before it creates or opens one at `path`. For a file in or
/// under a data folder whose lock this process holds, the folder's owner
/// and mode are checked again on the lock's handle: Refused, with `error`
/// set to the refusal, when it is no longer to be trusted. For a file right
/// in that folder, Held with `*folderFd` set to a duplicate of the handle
/// (the caller closes it) and `*name` to the file's name, to be opened
/// relative to it. Thread-safe.
HeldFolderWrite CheckHeldFolderWrite(const std::string& path, int* folderFd, std::string* name, std::string* error);

/// OpenRegularFile for writing (`access`) a data file: in a data folder
/// whose lock this process holds, only while the folder is still to be
/// trusted (else -1 with `error` set to the refusal), and relative to the
/// lock's handle on it.
int OpenDataFileForWriting(const std::string& path, std::string* error, int access);

/// The message of a save or run that could not take the lock in time.
inline constexpr std::string_view kDataFolderBusy =
    "ほかの処理がデータフォルダを使用中です。しばらくしてからやり直してください。";

} // namespace tessaly

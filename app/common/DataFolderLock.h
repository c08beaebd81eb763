// SPDX-License-Identifier: MIT
#pragma once

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
/// Move-only; released when destroyed.
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
    /// `error` (when given) says why, in Japanese.
    static DataFolderLock Acquire(const std::string& folder, double waitSeconds, std::string* error = nullptr);

    bool held() const { return m_fd >= 0; }
    /// Lets go early.
    void release();

private:
    explicit DataFolderLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

/// The message of a save or run that could not take the lock in time.
inline constexpr std::string_view kDataFolderBusy =
    "ほかの処理がデータフォルダを使用中です。しばらくしてからやり直してください。";

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "watch/FileNamePattern.h"
#include "watch/SubscriptionTable.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tessaly {

/// How a row of the table is watched between the timed runs.
enum class LiveState {
    Off,        ///< not in use, or nothing is watched
    Live,       ///< every folder the row walks is watched
    Remote,     ///< on a file system whose changes made elsewhere the kernel does not see
    NoWatches,  ///< the watches could not all be set (the per-user limit)
    Unreadable, ///< the row's own folder cannot be watched (missing, no permission)
};

struct LiveRow {
    LiveState state = LiveState::Off;
    std::string detail; ///< the file system's name, or the cause

    friend bool operator==(const LiveRow&, const LiveRow&) = default;
};

/// Watches the folders of the rows in use with inotify, between the timed
/// runs: every folder a row walks (its subfolders too when it walks them,
/// without following links), adding folders as they appear and dropping
/// them as they go. A change to a name that matches a row's pattern and
/// keywords (created, written, moved in, time stamp set), or a folder that
/// appears in a tree the row walks, concerns the row.
///
/// A row on a file system where the kernel does not see changes made by
/// other machines (NFS, SMB, FUSE, 9p and the like) is not watched, nor is
/// a row whose watches cannot all be set; the timed runs find their
/// changes. The data folder is never watched: the program's own writes are
/// no documents. Not thread-safe; the owner waits on fd() and calls
/// readEvents() when it is readable.
class LiveWatch final {
public:
    /// What the watch asks of the system; the real calls where empty, tests
    /// give their own.
    struct System {
        /// The statfs type of the file system a folder is on, or nothing
        /// when it cannot be had.
        std::function<std::optional<long>(const std::string& folder)> fileSystemOf;
        /// inotify_add_watch, with errno set on failure.
        std::function<int(int fd, const std::string& folder, uint32_t mask)> addWatch;
    };

    explicit LiveWatch(System system = {});
    ~LiveWatch();
    LiveWatch(const LiveWatch&) = delete;
    LiveWatch& operator=(const LiveWatch&) = delete;

    /// Watches the rows in use of `table`, replacing whatever was watched.
    /// False, with `error` set and nothing watched, when inotify itself
    /// cannot be had.
    bool watch(const SubscriptionTable& table, const std::string& dataFolder, std::string* error = nullptr);
    /// Stops watching; every row is Off.
    void clear();

    /// The descriptor to wait on: readable when events are pending; -1 when
    /// nothing is watched.
    int fd() const { return m_fd; }
    /// Reads every pending event and gives the rows they concern. New
    /// folders of a watched tree are watched from here on; a row that hits
    /// the watch limit on the way is dropped to the timer (NoWatches).
    RowMask readEvents();

    const std::array<LiveRow, 10>& rows() const { return m_rows; }
    /// The rows watched live.
    RowMask liveRows() const;
    /// How many folders are watched.
    size_t folderCount() const { return m_folders.size(); }
    /// The rows whose own folder went away while watched (Unreadable now).
    RowMask lostRows() const { return m_lost; }

    /// The name of a file system whose changes made elsewhere the kernel
    /// does not see ("nfs", "cifs", "fuse", ...), by statfs type; nothing
    /// for a local one.
    static std::optional<std::string> RemoteFileSystemName(long type);

private:
    struct Folder {
        std::string path;
        RowMask rows = 0;     ///< rows that watch the files of this folder
        RowMask deepRows = 0; ///< rows that watch its subfolders too
        RowMask rootOf = 0;   ///< rows whose own folder this is
    };
    struct RowFilter {
        std::optional<FileNamePattern> pattern;
        std::vector<std::string> tokens;
    };

    /// Watches `root` and, when `deep`, every folder under it for `row`.
    /// False when the row must go to the timer (its state says why).
    /// `rowRoot` tells the row's own folder, which must be watched, from a
    /// subfolder that appeared, which may be gone already.
    bool addTree(size_t row, const std::string& root, bool deep, bool rowRoot);
    void dropRow(size_t row, LiveState state, std::string detail);
    bool nameConcerns(size_t row, const char* name) const;

    int m_fd = -1;
    System m_system;
    std::map<int, Folder> m_folders; ///< by watch descriptor
    std::array<LiveRow, 10> m_rows;
    std::array<RowFilter, 10> m_filters;
    RowMask m_lost = 0;
    dev_t m_dataDevice = 0;
    ino_t m_dataInode = 0;
};

/// Holds back the check of a row until its folders have been quiet for the
/// settle time, so that a burst of changes gives one check. Times are in
/// milliseconds of a monotonic clock.
class QuietRows final {
public:
    explicit QuietRows(int64_t settleMs = 0) : m_settleMs(settleMs) {}

    void setSettle(int64_t settleMs) { m_settleMs = settleMs; }
    /// A change concerning `rows` was seen at `nowMs`.
    void changed(RowMask rows, int64_t nowMs);
    /// When the next row falls due; nothing when none waits.
    std::optional<int64_t> nextDue() const;
    /// The rows quiet for the settle time at `nowMs`; they wait no longer.
    RowMask takeDue(int64_t nowMs);
    /// Forgets every waiting row.
    void clear() { m_lastChange.fill(std::nullopt); }

private:
    int64_t m_settleMs;
    std::array<std::optional<int64_t>, 10> m_lastChange;
};

} // namespace tessaly

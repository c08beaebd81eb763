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
    /// The folder watched for the row's folder when that is a symbolic
    /// link; "" otherwise. (Links further up the path are followed too, and
    /// not named.)
    std::string target = {};

    friend bool operator==(const LiveRow&, const LiveRow&) = default;
};

/// A document (or a folder that appeared) that changed, and the rows it
/// concerns. The path is the one the watch names it by: the link's target
/// for a row whose folder is a link.
struct LiveChange {
    RowMask rows = 0;
    std::string path;
};

/// What one readEvents() found.
struct LiveEvents {
    std::vector<LiveChange> changes;
    /// Rows whose watches were set anew (their folder came back or was
    /// replaced, the link moved, events were lost): they are checked at
    /// once, since whatever arrived meanwhile gave no event.
    RowMask rearmed = 0;
    /// The kernel's event queue overflowed; every watch was set anew.
    bool overflowed = false;
};

/// Watches the folders of the rows in use with inotify, between the timed
/// runs: every folder a row walks (its subfolders too when it walks them,
/// without following links), adding folders as they appear and dropping
/// them as they go. A change to a name that matches a row's pattern and
/// keywords (created, written, moved in, time stamp set), or a folder that
/// appears in a tree the row walks, concerns the row.
///
/// The watches follow each row's own folder: a folder reached through a
/// symbolic link is watched at its target, and the folder that holds the
/// row's folder (or link) is watched for that name, so that a folder
/// removed, renamed, made again or a link pointed elsewhere has its row's
/// watches set anew at once. A row whose folder cannot be watched now
/// (missing, no permission, a link to nothing) is waiting(): its owner
/// calls rearmWaiting() now and then. An overflow of the event queue sets
/// every watch anew.
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
        /// read() of the inotify descriptor, with errno set on failure.
        std::function<ssize_t(int fd, char* buffer, size_t size)> readEvents;
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
    /// Reads every pending event and gives what changed. New folders of a
    /// watched tree are watched from here on; a row that hits the watch
    /// limit on the way is dropped to the timer (NoWatches); a row whose
    /// own folder went, came back or moved is set anew.
    LiveEvents readEvents();
    /// Sets anew the rows that wait for their folder and can be watched
    /// now; gives those that are live again.
    RowMask rearmWaiting();

    const std::array<LiveRow, 10>& rows() const { return m_rows; }
    /// The rows watched live.
    RowMask liveRows() const;
    /// How many folders are watched.
    size_t folderCount() const { return m_folders.size(); }
    /// The rows in use whose own folder cannot be watched for now: gone,
    /// not readable, a link to nothing.
    RowMask waiting() const;

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
        RowMask anchorOf = 0; ///< rows whose own folder (or link) this folder holds
    };
    /// A row's own folder: as the row names it, and its last name.
    struct Root {
        std::string path;
        std::string name;
        bool deep = false;
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
    /// Sets the watches of a row in use from scratch: its anchor, then its
    /// folder (through a link) and tree.
    void armRow(size_t row);
    void addAnchor(size_t row);
    void dropRow(size_t row, LiveState state, std::string detail, bool anchorToo = false);
    int addWatch(const std::string& folder, uint32_t mask);
    bool nameConcerns(size_t row, const char* name) const;

    int m_fd = -1;
    System m_system;
    std::map<int, Folder> m_folders; ///< by watch descriptor
    std::array<LiveRow, 10> m_rows;
    std::array<RowFilter, 10> m_filters;
    std::array<Root, 10> m_roots;
    dev_t m_dataDevice = 0;
    ino_t m_dataInode = 0;
};

/// Holds back each changed document until it has been left alone for the
/// settle time. A row falls due once one of its documents is quiet and
/// every other one is quiet too or has been changing for longer than the
/// settle time already: a burst of new documents gives one check, and a
/// document that keeps changing holds back no other. Times are in
/// milliseconds of a monotonic clock.
class QuietDocuments final {
public:
    explicit QuietDocuments(int64_t settleMs = 0) : m_settleMs(settleMs) {}

    void setSettle(int64_t settleMs) { m_settleMs = settleMs; }
    /// `change` was seen at `nowMs`.
    void changed(const LiveChange& change, int64_t nowMs);
    /// When the next row falls due; nothing when none waits.
    std::optional<int64_t> nextDue() const;
    /// The rows due at `nowMs`; their quiet documents wait no longer.
    RowMask takeDue(int64_t nowMs);
    /// The documents changed within the settle time before `nowMs`.
    std::vector<std::string> busy(int64_t nowMs) const;
    /// Forgets every waiting document.
    void clear() { m_documents.clear(); }

private:
    struct Waiting {
        RowMask rows = 0;
        int64_t firstChange = 0;
        int64_t lastChange = 0;
    };
    /// When `row` falls due; nothing when none of its documents waits.
    std::optional<int64_t> dueOf(size_t row) const;
    int64_t m_settleMs;
    std::map<std::string, Waiting> m_documents;
};

} // namespace tessaly

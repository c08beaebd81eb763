// SPDX-License-Identifier: MIT
#include "watch/LiveWatch.h"

#include "common/FileSystem.h"
#include "watch/FolderWalk.h"
#include "watch/Keywords.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

namespace tessaly {
namespace {

/// What a watched folder reports: a document created, written, closed after
/// writing, moved in or given a time stamp, a folder appearing, and the
/// folder itself going away.
constexpr uint32_t kEvents = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                             IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

std::optional<long> StatfsType(const std::string& folder)
{
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<long>(info.f_type);
}

/// The subfolders of `folder`, links left out.
std::vector<std::string> SubfoldersOf(const std::string& folder)
{
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = (folder == "/" ? std::string() : folder) + "/" + std::string(name);
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isFolder)
            found.push_back(std::move(path));
    }
    ::closedir(dir);
    return found;
}

} // namespace

LiveWatch::LiveWatch(System system) : m_system(std::move(system))
{
    if (!m_system.fileSystemOf)
        m_system.fileSystemOf = StatfsType;
    if (!m_system.addWatch)
        m_system.addWatch = [](int fd, const std::string& folder, uint32_t mask) {
            return ::inotify_add_watch(fd, folder.c_str(), mask);
        };
}

LiveWatch::~LiveWatch()
{
    clear();
}

std::optional<std::string> LiveWatch::RemoteFileSystemName(long type)
{
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFUL) {
    case 0x6969: return "nfs";
    case 0x517B: return "smb";
    case 0xFF534D42: return "cifs";
    case 0xFE534D42: return "smb2";
    case 0x65735546: return "fuse";
    case 0x01021997: return "9p";
    case 0x73757245: return "coda";
    case 0x5346414F:
    case 0x6B414653: return "afs";
    case 0x00C36400: return "ceph";
    case 0x564C: return "ncp";
    case 0x01161970: return "gfs2";
    case 0x7461636F: return "ocfs2";
    case 0x47504653: return "gpfs";
    case 0x013111A8: return "ibrix";
    case 0x786F4256: return "vboxsf";
    default: return std::nullopt;
    }
}

void LiveWatch::clear()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_folders.clear();
    m_lost = 0;
    m_rows.fill(LiveRow{});
    m_filters.fill(RowFilter{});
}

bool LiveWatch::watch(const SubscriptionTable& table, const std::string& dataFolder, std::string* error)
{
    clear();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        if (error)
            *error = ErrorText(errno);
        return false;
    }
    struct stat data {};
    if (::stat(dataFolder.c_str(), &data) == 0) {
        m_dataDevice = data.st_dev;
        m_dataInode = data.st_ino;
    }
    for (size_t row = 0; row < table.size(); ++row) {
        const Subscription& subscription = table[row];
        if (!subscription.inUse())
            continue;
        std::optional<FileNamePattern> pattern = FileNamePattern::Compile(subscription.FileName);
        if (!pattern || subscription.Folder.empty()) {
            m_rows[row] = {LiveState::Unreadable, "購読の設定が正しくありません"};
            continue;
        }
        m_filters[row] = {std::move(pattern), KeywordTokens(subscription.Keyword)};
        m_rows[row] = {LiveState::Live, {}};
        addTree(row, FolderWalkRoot(subscription.Folder), WalksSubfolders(subscription.Subfolders), true);
    }
    return true;
}

bool LiveWatch::addTree(size_t row, const std::string& root, bool deep, bool rowRoot)
{
    const RowMask bit = static_cast<RowMask>(1u << row);
    struct stat rootStatus {};
    const bool found = ::stat(root.c_str(), &rootStatus) == 0;
    if (!found || !S_ISDIR(rootStatus.st_mode)) {
        const int cause = found ? ENOTDIR : errno;
        if (rowRoot)
            dropRow(row, LiveState::Unreadable, ErrorText(cause));
        return false;
    }
    std::vector<std::pair<std::string, dev_t>> pending{{root, 0}};
    while (!pending.empty()) {
        auto [folder, parentDevice] = std::move(pending.back());
        pending.pop_back();
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0)
            continue; // gone meanwhile
        if (st.st_dev == m_dataDevice && st.st_ino == m_dataInode)
            continue;
        // A file system mounted inside the tree may be one whose changes the
        // kernel does not see.
        if (st.st_dev != parentDevice) {
            const std::optional<long> type = m_system.fileSystemOf(folder);
            if (type) {
                if (std::optional<std::string> remote = RemoteFileSystemName(*type)) {
                    dropRow(row, LiveState::Remote, *remote);
                    return false;
                }
            }
        }
        const int wd = m_system.addWatch(m_fd, folder, kEvents);
        if (wd < 0) {
            if (errno == ENOSPC || errno == ENOMEM) {
                dropRow(row, LiveState::NoWatches, ErrorText(errno));
                return false;
            }
            // A folder the walk cannot read either is left out; the row's
            // own folder cannot be watched at all.
            if (folder == root && rowRoot) {
                dropRow(row, LiveState::Unreadable, ErrorText(errno));
                return false;
            }
            continue;
        }
        Folder& watched = m_folders[wd];
        if (watched.path.empty())
            watched.path = folder;
        watched.rows |= bit;
        if (rowRoot && folder == root)
            watched.rootOf |= bit;
        if (!deep)
            continue;
        watched.deepRows |= bit;
        for (std::string& subfolder : SubfoldersOf(folder))
            pending.emplace_back(std::move(subfolder), st.st_dev);
    }
    return true;
}

void LiveWatch::dropRow(size_t row, LiveState state, std::string detail)
{
    const RowMask bit = static_cast<RowMask>(1u << row);
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        it->second.rows &= static_cast<RowMask>(~bit);
        it->second.deepRows &= static_cast<RowMask>(~bit);
        if (it->second.rows == 0) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
    m_rows[row] = {state, std::move(detail)};
}

RowMask LiveWatch::liveRows() const
{
    RowMask rows = 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].state == LiveState::Live)
            rows |= static_cast<RowMask>(1u << row);
    }
    return rows;
}

bool LiveWatch::nameConcerns(size_t row, const char* name) const
{
    const RowFilter& filter = m_filters[row];
    return filter.pattern && filter.pattern->matches(name) && PassesKeywords(filter.tokens, name);
}

RowMask LiveWatch::readEvents()
{
    RowMask concerned = 0;
    if (m_fd < 0)
        return concerned;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break; // EAGAIN: nothing more pending
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: every live row is checked.
                concerned |= liveRows();
                continue;
            }
            const auto found = m_folders.find(event->wd);
            if (found == m_folders.end())
                continue;
            if (event->mask & IN_IGNORED) {
                // The folder went away; a row whose own folder it was is
                // left to the timer until its folder is watched again.
                const RowMask rootOf = found->second.rootOf;
                m_folders.erase(found);
                for (size_t row = 0; row < m_rows.size(); ++row) {
                    if ((rootOf & (1u << row)) != 0) {
                        dropRow(row, LiveState::Unreadable, ErrorText(ENOENT));
                        m_lost |= static_cast<RowMask>(1u << row);
                    }
                }
                continue;
            }
            const Folder folder = found->second;
            if (event->len == 0)
                continue;
            if (event->mask & IN_ISDIR) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) == 0)
                    continue;
                // A folder that appears may bring documents along (moved
                // in, or written before its watch was set): its rows check.
                const std::string path = (folder.path == "/" ? std::string() : folder.path) + "/" + event->name;
                for (size_t row = 0; row < m_rows.size(); ++row) {
                    if ((folder.deepRows & (1u << row)) != 0 && addTree(row, path, true, false))
                        concerned |= static_cast<RowMask>(1u << row);
                }
                continue;
            }
            for (size_t row = 0; row < m_rows.size(); ++row) {
                if ((folder.rows & (1u << row)) != 0 && nameConcerns(row, event->name))
                    concerned |= static_cast<RowMask>(1u << row);
            }
        }
    }
    return concerned;
}

void QuietRows::changed(RowMask rows, int64_t nowMs)
{
    for (size_t row = 0; row < m_lastChange.size(); ++row) {
        if ((rows & (1u << row)) != 0)
            m_lastChange[row] = nowMs;
    }
}

std::optional<int64_t> QuietRows::nextDue() const
{
    std::optional<int64_t> due;
    for (const std::optional<int64_t>& last : m_lastChange) {
        if (last && (!due || *last + m_settleMs < *due))
            due = *last + m_settleMs;
    }
    return due;
}

RowMask QuietRows::takeDue(int64_t nowMs)
{
    RowMask due = 0;
    for (size_t row = 0; row < m_lastChange.size(); ++row) {
        if (m_lastChange[row] && *m_lastChange[row] + m_settleMs <= nowMs) {
            due |= static_cast<RowMask>(1u << row);
            m_lastChange[row].reset();
        }
    }
    return due;
}

} // namespace tessaly

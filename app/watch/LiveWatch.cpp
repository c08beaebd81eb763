// SPDX-License-Identifier: MIT
#include "watch/LiveWatch.h"

#include "common/FileSystem.h"
#include "watch/FolderWalk.h"
#include "watch/Keywords.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
/// writing, moved in or given a time stamp, a folder appearing, names that
/// go (for a row's folder or link held there), and the folder itself going
/// away. One mask for every watch: a folder watched twice keeps it.
constexpr uint32_t kEvents = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                             IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
/// What the folder holding a row's own folder reports: that name made,
/// removed, moved or given other permissions. Added to whatever the folder
/// is watched for already, so that writes there (a home folder's logs) wake
/// nobody.
constexpr uint32_t kAnchorEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_MASK_ADD;
/// The changes of a name that concern a document.
constexpr uint32_t kDocumentEvents = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB;

RowMask Bit(size_t row)
{
    return static_cast<RowMask>(1u << row);
}

std::string Join(const std::string& folder, std::string_view name)
{
    return (folder == "/" ? std::string() : folder) + "/" + std::string(name);
}

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

constexpr std::string_view kLinkToNothing = "リンク先がありません";

} // namespace

LiveWatch::LiveWatch(System system) : m_system(std::move(system))
{
    if (!m_system.fileSystemOf)
        m_system.fileSystemOf = StatfsType;
    if (!m_system.addWatch)
        m_system.addWatch = [](int fd, const std::string& folder, uint32_t mask) {
            return ::inotify_add_watch(fd, folder.c_str(), mask);
        };
    if (!m_system.readEvents)
        m_system.readEvents = [](int fd, char* buffer, size_t size) { return ::read(fd, buffer, size); };
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
    m_rows.fill(LiveRow{});
    m_filters.fill(RowFilter{});
    m_roots.fill(Root{});
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
        const std::string root = FolderWalkRoot(subscription.Folder);
        m_roots[row] = {root, root == "/" ? std::string() : root.substr(root.rfind('/') + 1),
                        WalksSubfolders(subscription.Subfolders)};
        armRow(row);
    }
    return true;
}

int LiveWatch::addWatch(const std::string& folder, uint32_t mask)
{
    return m_system.addWatch(m_fd, folder, mask);
}

void LiveWatch::addAnchor(size_t row)
{
    const Root& root = m_roots[row];
    if (root.name.empty())
        return; // "/" never goes
    const std::string parent = root.path.substr(0, root.path.size() - root.name.size());
    char real[PATH_MAX];
    if (!::realpath(parent.empty() ? "/" : parent.c_str(), real))
        return; // gone too: the row waits, and its owner asks again
    const int wd = addWatch(real, kAnchorEvents);
    if (wd < 0)
        return;
    Folder& anchor = m_folders[wd];
    if (anchor.path.empty())
        anchor.path = real;
    anchor.anchorOf |= Bit(row);
}

void LiveWatch::armRow(size_t row)
{
    const Root& root = m_roots[row];
    m_rows[row] = {LiveState::Live, {}};
    addAnchor(row);
    // A folder reached through a link is watched where it really is; the
    // anchor sees the link change.
    char real[PATH_MAX];
    if (!::realpath(root.path.c_str(), real)) {
        const int cause = errno;
        struct stat link {};
        const bool dangling = cause == ENOENT && ::lstat(root.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        dropRow(row, LiveState::Unreadable, dangling ? std::string(kLinkToNothing) : ErrorText(cause));
        return;
    }
    const std::string target = real;
    struct stat link {};
    if (::lstat(root.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        m_rows[row].target = target;
    addTree(row, target, root.deep, true);
}

bool LiveWatch::addTree(size_t row, const std::string& root, bool deep, bool rowRoot)
{
    const RowMask bit = Bit(row);
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
        const int wd = addWatch(folder, kEvents);
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
        // A folder moved within the tree is named by where it is now.
        Folder& watched = m_folders[wd];
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

void LiveWatch::dropRow(size_t row, LiveState state, std::string detail, bool anchorToo)
{
    const auto others = static_cast<RowMask>(~Bit(row));
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        it->second.rows &= others;
        it->second.deepRows &= others;
        it->second.rootOf &= others;
        if (anchorToo)
            it->second.anchorOf &= others;
        if (it->second.rows == 0 && it->second.anchorOf == 0) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
    const std::string target = m_rows[row].target;
    m_rows[row] = {state, std::move(detail), target};
}

RowMask LiveWatch::liveRows() const
{
    RowMask rows = 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].state == LiveState::Live)
            rows |= Bit(row);
    }
    return rows;
}

RowMask LiveWatch::waiting() const
{
    RowMask rows = 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].state == LiveState::Unreadable && m_filters[row].pattern)
            rows |= Bit(row);
    }
    return rows;
}

RowMask LiveWatch::rearmWaiting()
{
    RowMask back = 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if ((waiting() & Bit(row)) == 0)
            continue;
        // Cheap while the folder is still away: nothing is set up then.
        struct stat st {};
        const char* path = m_roots[row].path.c_str();
        if (::stat(path, &st) != 0 || !S_ISDIR(st.st_mode) || ::access(path, R_OK | X_OK) != 0)
            continue;
        dropRow(row, LiveState::Off, {}, true);
        armRow(row);
        if (m_rows[row].state == LiveState::Live)
            back |= Bit(row);
    }
    return back;
}

bool LiveWatch::nameConcerns(size_t row, const char* name) const
{
    const RowFilter& filter = m_filters[row];
    return filter.pattern && filter.pattern->matches(name) && PassesKeywords(filter.tokens, name);
}

LiveEvents LiveWatch::readEvents()
{
    LiveEvents events;
    if (m_fd < 0)
        return events;
    RowMask moved = 0; // rows whose own folder went, came or changed
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = m_system.readEvents(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break; // EAGAIN: nothing more pending
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                events.overflowed = true;
                continue;
            }
            const auto found = m_folders.find(event->wd);
            if (found == m_folders.end())
                continue;
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // A row's own folder, or the folder that holds it, went
                // away or elsewhere: the row is set anew (or waits).
                moved |= found->second.rootOf | found->second.anchorOf;
                if (event->mask & IN_IGNORED)
                    m_folders.erase(found);
                continue;
            }
            const Folder folder = found->second;
            if (event->len == 0) {
                // The row's own folder got other permissions: what it holds
                // may be readable now.
                if ((event->mask & IN_ATTRIB) && folder.rootOf != 0)
                    events.changes.push_back({folder.rootOf, folder.path});
                continue;
            }
            const std::string_view name = event->name;
            for (size_t row = 0; row < m_roots.size(); ++row) {
                if ((folder.anchorOf & Bit(row)) != 0 && name == m_roots[row].name)
                    moved |= Bit(row);
            }
            if (folder.rows == 0)
                continue;
            if (event->mask & IN_ISDIR) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO | IN_ATTRIB)) == 0)
                    continue;
                // A folder that appears may bring documents along (moved
                // in, or written before its watch was set), and one that
                // got other permissions may be readable now: its rows check.
                const std::string path = Join(folder.path, name);
                RowMask rows = 0;
                for (size_t row = 0; row < m_rows.size(); ++row) {
                    if ((folder.deepRows & Bit(row)) != 0 && addTree(row, path, true, false))
                        rows |= Bit(row);
                }
                if (rows != 0)
                    events.changes.push_back({rows, path});
                continue;
            }
            if ((event->mask & kDocumentEvents) == 0)
                continue;
            RowMask rows = 0;
            for (size_t row = 0; row < m_rows.size(); ++row) {
                if ((folder.rows & Bit(row)) != 0 && nameConcerns(row, event->name))
                    rows |= Bit(row);
            }
            if (rows != 0)
                events.changes.push_back({rows, Join(folder.path, name)});
        }
    }
    if (events.overflowed) {
        // Events were lost, folders made meanwhile among them: every row
        // is set anew and checked.
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (m_filters[row].pattern)
                moved |= Bit(row);
        }
    }
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if ((moved & Bit(row)) == 0 || !m_filters[row].pattern)
            continue;
        dropRow(row, LiveState::Off, {}, true);
        armRow(row);
        if (m_rows[row].state == LiveState::Live)
            events.rearmed |= Bit(row);
    }
    return events;
}

void QuietDocuments::changed(const LiveChange& change, int64_t nowMs)
{
    const auto [it, added] = m_documents.try_emplace(change.path, Waiting{0, nowMs, nowMs});
    it->second.rows |= change.rows;
    it->second.lastChange = nowMs;
}

std::optional<int64_t> QuietDocuments::dueOf(size_t row) const
{
    // Once the newest first change is old enough and the earliest document
    // has been left alone long enough.
    std::optional<int64_t> firstQuiet;
    int64_t lastFirst = 0;
    for (const auto& [path, waiting] : m_documents) {
        if ((waiting.rows & Bit(row)) == 0)
            continue;
        lastFirst = std::max(lastFirst, waiting.firstChange);
        firstQuiet = std::min(firstQuiet.value_or(waiting.lastChange), waiting.lastChange);
    }
    if (!firstQuiet)
        return std::nullopt;
    return std::max(lastFirst, *firstQuiet) + m_settleMs;
}

std::optional<int64_t> QuietDocuments::nextDue() const
{
    std::optional<int64_t> due;
    for (size_t row = 0; row < 10; ++row) {
        if (const std::optional<int64_t> at = dueOf(row); at && (!due || *at < *due))
            due = at;
    }
    return due;
}

RowMask QuietDocuments::takeDue(int64_t nowMs)
{
    RowMask due = 0;
    for (size_t row = 0; row < 10; ++row) {
        if (const std::optional<int64_t> at = dueOf(row); at && *at <= nowMs)
            due |= Bit(row);
    }
    if (due == 0)
        return 0;
    for (auto it = m_documents.begin(); it != m_documents.end();) {
        if (it->second.lastChange + m_settleMs <= nowMs)
            it->second.rows &= static_cast<RowMask>(~due);
        if (it->second.rows == 0)
            it = m_documents.erase(it);
        else
            ++it;
    }
    return due;
}

std::vector<std::string> QuietDocuments::busy(int64_t nowMs) const
{
    std::vector<std::string> paths;
    for (const auto& [path, waiting] : m_documents) {
        if (waiting.lastChange + m_settleMs > nowMs)
            paths.push_back(path);
    }
    return paths;
}

} // namespace tessaly

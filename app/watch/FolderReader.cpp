// SPDX-License-Identifier: MIT
#include "watch/FolderReader.h"

#include "common/FileSystem.h"
#include "watch/FileNamePattern.h"
#include "watch/FileTimeStamp.h"
#include "watch/FolderWalk.h"
#include "watch/WalkResult.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

// Large enough that a folder of a few thousand entries comes in one call.
constexpr size_t kBufferBytes = 128 * 1024;

/// The folder's path as messages show it.
std::string Shown(const std::string& folder)
{
    return folder.empty() ? std::string("/") : folder;
}

// Errors that mean the entry is gone or is a link that leads nowhere
// usable; such an entry is simply not a file of the folder any more.
bool IsVanished(int errorNumber)
{
    return errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ELOOP;
}

} // namespace

FolderReader::FolderReader(const FileNamePattern& pattern, bool readTimes, bool listSubfolders,
                           const std::atomic<bool>* stop, WalkFilter* filter)
    : m_pattern(pattern), m_readTimes(readTimes || filter), m_listSubfolders(listSubfolders), m_stop(stop),
      m_filter(filter), m_statxMask(filter ? kFileTimeStatxMask | STATX_INO | STATX_SIZE : kFileTimeStatxMask),
      m_buffer(std::make_unique_for_overwrite<char[]>(kBufferBytes))
{
}

FolderReader::~FolderReader() = default;

std::string_view FolderReader::subfolder(size_t i) const
{
    size_t begin = i == 0 ? 0 : m_subfolderEnds[i - 1];
    return std::string_view(m_subfolderNames).substr(begin, m_subfolderEnds[i] - begin);
}

bool FolderReader::read(const std::string& folder, bool listed, WalkResult* result)
{
    m_subfolderNames.clear();
    m_subfolderEnds.clear();
    // A listed subfolder is opened without following links: if it was
    // replaced by a link since, it is not descended into.
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | (listed ? O_NOFOLLOW : 0);
    int fd = ::open(folder.empty() ? "/" : folder.c_str(), flags);
    if (fd < 0) {
        if (!(listed && IsVanished(errno)))
            result->addSkipped({Shown(folder), "フォルダを開けません: " + ErrorText(errno)});
        return true;
    }
    const size_t skippedBefore = result->skippedFolders().size();
    bool ok = readEntries(fd, folder, result);
    ::close(fd);
    if (m_filter && ok)
        flushFound(folder, result->skippedFolders().size() == skippedBefore, result);
    return ok;
}

void FolderReader::flushFound(const std::string& folder, bool complete, WalkResult* result)
{
    // A folder read in part keeps what its record says until it can be
    // read whole: its files are not judged by the part alone.
    if (complete && !m_found.empty()) {
        for (size_t i = 0; i < m_found.size(); ++i) {
            const uint32_t begin = i == 0 ? 0 : m_foundNameEnds[i - 1];
            m_found[i].name = std::string_view(m_foundNames).substr(begin, m_foundNameEnds[i] - begin);
        }
        m_filter->filter(folder, m_found);
        for (const FoundFile& file : m_found) {
            if (file.keep)
                result->append(folder, file.name, file.created, file.written);
        }
    }
    m_found.clear();
    m_foundNames.clear();
    m_foundNameEnds.clear();
}

bool FolderReader::readEntries(int fd, const std::string& folder, WalkResult* result)
{
    for (;;) {
        if (stopped())
            return false;
        ssize_t bytes = ::getdents64(fd, m_buffer.get(), kBufferBytes);
        if (bytes == 0)
            return true;
        if (bytes < 0) {
            if (errno == EINTR)
                continue;
            // What was listed so far stays; the rest of the folder is missed.
            result->addSkipped({Shown(folder), "フォルダを読めません: " + ErrorText(errno)});
            return true;
        }
        for (ssize_t pos = 0; pos < bytes;) {
            auto* entry = reinterpret_cast<const struct dirent64*>(m_buffer.get() + pos);
            pos += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            visit(fd, folder, name, entry->d_type, result);
        }
    }
}

void FolderReader::visit(int fd, const std::string& folder, const char* name, unsigned char type, WalkResult* result)
{
    if (type == DT_DIR) {
        if (m_listSubfolders)
            addSubfolder(name);
        return;
    }
    if (type != DT_REG && type != DT_LNK && type != DT_UNKNOWN)
        return;
    std::string_view nameView(name);
    bool match = m_pattern.matches(nameView);
    if (type == DT_UNKNOWN) {
        if (match || m_listSubfolders)
            visitUntyped(fd, folder, nameView, match, result);
        return;
    }
    if (!match)
        return;
    if (type == DT_REG && !m_readTimes) {
        appendFile(folder, nameView, nullptr, result);
        return;
    }
    addFile(fd, folder, nameView, result);
}

void FolderReader::visitUntyped(int fd, const std::string& folder, std::string_view name, bool match,
                                WalkResult* result)
{
    // Some file systems do not report entry types: ask, and for the times
    // at the same go when they will be needed. An entry that cannot be
    // examined is passed over, like one that vanished.
    struct statx status {};
    unsigned mask = match && m_readTimes ? m_statxMask : STATX_TYPE;
    if (::statx(fd, name.data(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &status) != 0)
        return;
    if (S_ISDIR(status.stx_mode)) {
        if (m_listSubfolders)
            addSubfolder(name);
        return;
    }
    if (match && S_ISLNK(status.stx_mode))
        addFile(fd, folder, name, result);
    else if (match && S_ISREG(status.stx_mode))
        appendFile(folder, name, m_readTimes ? &status : nullptr, result);
}

void FolderReader::addFile(int fd, const std::string& folder, std::string_view name, WalkResult* result)
{
    // Follows a link to what it names: a link to a regular file counts with
    // the target's times; anything else it leads to is not a file here, and
    // neither is a link whose target cannot be examined.
    struct statx status {};
    unsigned mask = m_readTimes ? m_statxMask : STATX_TYPE;
    if (::statx(fd, name.data(), AT_NO_AUTOMOUNT, mask, &status) != 0)
        return;
    if (S_ISREG(status.stx_mode))
        appendFile(folder, name, m_readTimes ? &status : nullptr, result);
}

void FolderReader::appendFile(const std::string& folder, std::string_view name, const struct statx* status,
                              WalkResult* result)
{
    if (m_filter) {
        m_foundNames.append(name);
        m_foundNameEnds.push_back(static_cast<uint32_t>(m_foundNames.size()));
        m_found.push_back(FoundFile{
            {}, CreatedInstantOf(*status), WrittenInstantOf(*status), status->stx_ino, status->stx_size, true});
        return;
    }
    if (status)
        result->append(folder, name, CreatedInstantOf(*status), WrittenInstantOf(*status));
    else
        result->append(folder, name, kNoFileInstant, kNoFileInstant);
}

void FolderReader::addSubfolder(std::string_view name)
{
    m_subfolderNames.append(name);
    m_subfolderEnds.push_back(static_cast<uint32_t>(m_subfolderNames.size()));
}

} // namespace tessaly

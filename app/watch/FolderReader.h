// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct statx;

namespace tessaly {

class FileNamePattern;
class WalkFilter;
struct FoundFile;
class WalkResult;

/// Reads one folder at a time for a walk: the regular files whose names
/// match go into a WalkResult (with their times), the names of the
/// subfolders into a list for the walk to visit next.
///
/// The folder is read with getdents64 into one large buffer, names are
/// matched where they lie, and only a matching file costs a statx (relative
/// to the open folder). A symbolic link counts as the regular file it points
/// to; it is never followed into a folder. One reader per thread; the
/// pattern must outlive it.
class FolderReader final {
public:
    /// `stop`, when given, is polled between batches of entries; once it is
    /// set, read() gives up early and returns false without an error.
    /// With a `filter`, each folder's matching files are passed to it once
    /// the folder was read (their times and identity read), and only those
    /// it keeps go into the result.
    FolderReader(const FileNamePattern& pattern, bool readTimes, bool listSubfolders,
                 const std::atomic<bool>* stop = nullptr, WalkFilter* filter = nullptr);
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    /// Reads the folder `folder` (its path as the results show it: paths are
    /// folder + "/" + name, so "" stands for the root "/"). A folder that
    /// vanished since it was listed (`listed` true) reads as empty. A folder
    /// that cannot be opened or read is noted in the result's skipped
    /// folders (with what was read of it before the failure); an entry that
    /// cannot be examined is left out. False only when the walk was stopped.
    bool read(const std::string& folder, bool listed, WalkResult* result);

    /// Subfolders found by the last read(), in listing order.
    size_t subfolderCount() const { return m_subfolderEnds.size(); }
    std::string_view subfolder(size_t i) const;

private:
    bool readEntries(int fd, const std::string& folder, WalkResult* result);
    void visit(int fd, const std::string& folder, const char* name, unsigned char type, WalkResult* result);
    void visitUntyped(int fd, const std::string& folder, std::string_view name, bool match, WalkResult* result);
    void addFile(int fd, const std::string& folder, std::string_view name, WalkResult* result);
    void appendFile(const std::string& folder, std::string_view name, const struct statx* status, WalkResult* result);
    void addSubfolder(std::string_view name);
    /// Hands the folder's files to the filter and adds those it keeps.
    void flushFound(const std::string& folder, bool complete, WalkResult* result);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    const FileNamePattern& m_pattern;
    const bool m_readTimes;
    const bool m_listSubfolders;
    const std::atomic<bool>* m_stop;
    WalkFilter* m_filter;
    unsigned m_statxMask;
    std::unique_ptr<char[]> m_buffer;
    /// With a filter: the files of the folder being read, their names in
    /// m_foundNames at m_foundNameEnds.
    std::vector<FoundFile> m_found;
    std::string m_foundNames;
    std::vector<uint32_t> m_foundNameEnds;
    std::string m_subfolderNames;
    std::vector<uint32_t> m_subfolderEnds;
};

} // namespace tessaly

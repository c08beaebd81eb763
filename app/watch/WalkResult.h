// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// An instant as whole seconds since 1970-01-01 00:00 UTC and the
/// nanoseconds within that second.
struct FileInstant {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

/// The instant of the zero file time, 1 January 1601 00:00 UTC: what a walk
/// gives when it did not read times.
inline constexpr FileInstant kNoFileInstant{-11644473600, 0};

/// A folder a walk could not read, and why (one line, Japanese).
struct SkippedFolder {
    std::string path;
    std::string reason;

    friend bool operator==(const SkippedFolder&, const SkippedFolder&) = default;
};

/// The files a folder walk found, in walk order, with their creation and
/// last-write instants (kNoFileInstant when the walk did not read times),
/// and the folders it had to leave out.
///
/// Paths live in large text blocks and entries in fixed-size chunks, so that
/// adding a file allocates nothing except when a block or chunk is full and
/// nothing already stored ever moves. Move-only; reading is thread-safe.
class WalkResult final {
public:
    WalkResult() = default;
    WalkResult(WalkResult&&) noexcept = default;
    WalkResult& operator=(WalkResult&&) noexcept = default;

    /// Number of files.
    size_t size() const { return m_order.empty() ? m_entryCount : m_order.size(); }
    /// True when no file was found.
    bool empty() const { return size() == 0; }

    /// Full path of file `i` (0 <= i < size()); valid while the result lives.
    std::string_view path(size_t i) const { return {entry(i).text, entry(i).length}; }
    /// Creation instant of file `i`.
    FileInstant createdInstant(size_t i) const { return {entry(i).createdSeconds, entry(i).createdNanoseconds}; }
    /// Last-write instant of file `i`.
    FileInstant writtenInstant(size_t i) const { return {entry(i).writtenSeconds, entry(i).writtenNanoseconds}; }
    /// Creation time of file `i` in local time (kFileTimeZero when the walk
    /// did not read times).
    AutomationDate created(size_t i) const { return LocalTimeOf(createdInstant(i)); }
    /// Last-write time of file `i` in local time.
    AutomationDate written(size_t i) const { return LocalTimeOf(writtenInstant(i)); }

    /// The folders that could not be opened or read, sorted by path; their
    /// files and subfolders are missing from the result. The walk's own
    /// folder may be among them.
    const std::vector<SkippedFolder>& skippedFolders() const { return m_skipped; }
    /// Notes a folder that could not be read.
    void addSkipped(SkippedFolder folder) { m_skipped.push_back(std::move(folder)); }
    /// Brings the skipped folders into path order (after joining parts).
    void sortSkipped();

    /// Bytes of memory the result holds (blocks and tables, used or not).
    size_t memoryBytes() const;

    /// Adds `folder` + "/" + `name` with its times at the end. Not for a
    /// result that has adopted parts.
    void append(std::string_view folder, std::string_view name, FileInstant created, FileInstant written);

    /// For joining the parts that several threads built: takes over the
    /// storage of `part` (whose entries must still be in building order)
    /// and gives the number that appendFrom needs to address them. Adopt
    /// every part before the first appendFrom.
    uint32_t adopt(WalkResult&& part);
    /// Adds entries [begin, end) of a part taken over by adopt(), whose
    /// number is `partBase`, at the end of this result's order.
    void appendFrom(uint32_t partBase, size_t begin, size_t end);

private:
    struct Entry {
        const char* text;
        uint32_t length;
        uint32_t createdNanoseconds;
        int64_t createdSeconds;
        int64_t writtenSeconds;
        uint32_t writtenNanoseconds;
    };

    static AutomationDate LocalTimeOf(FileInstant instant);

    static constexpr unsigned kChunkShift = 12;
    static constexpr size_t kChunkEntries = size_t(1) << kChunkShift;
    static constexpr size_t kBlockBytes = 256 * 1024;

    const Entry& entry(size_t i) const
    {
        size_t id = m_order.empty() ? i : m_order[i];
        return m_chunks[id >> kChunkShift][id & (kChunkEntries - 1)];
    }
    char* reserveText(size_t length);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<size_t> m_blockSizes;
    size_t m_blockUsed = 0;
    std::vector<std::unique_ptr<Entry[]>> m_chunks;
    size_t m_entryCount = 0;
    // Empty while entries are in building order; after joining, the entry
    // number (chunk << kChunkShift | slot) of each file in walk order.
    std::vector<uint32_t> m_order;
    size_t m_adoptedEntries = 0;
    std::vector<SkippedFolder> m_skipped;
};

} // namespace tessaly

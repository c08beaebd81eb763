// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaly {

/// The files a folder walk found, in walk order, with their creation and
/// last-write times (kFileTimeZero when the walk did not read times).
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
    /// Creation time of file `i` in local time.
    AutomationDate created(size_t i) const { return entry(i).created; }
    /// Last-write time of file `i` in local time.
    AutomationDate written(size_t i) const { return entry(i).written; }

    /// Bytes of memory the result holds (blocks and tables, used or not).
    size_t memoryBytes() const;

    /// Adds `folder` + "/" + `name` with its times at the end. Not for a
    /// result that has adopted parts.
    void append(std::string_view folder, std::string_view name, AutomationDate created,
                AutomationDate written);

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
        AutomationDate created;
        AutomationDate written;
    };

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
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "watch/WalkResult.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

size_t WalkResult::memoryBytes() const
{
    size_t bytes = m_chunks.size() * kChunkEntries * sizeof(Entry);
    for (size_t size : m_blockSizes)
        bytes += size;
    bytes += m_order.capacity() * sizeof(uint32_t);
    bytes += m_blocks.capacity() * (sizeof(m_blocks[0]) + sizeof(size_t));
    bytes += m_chunks.capacity() * sizeof(m_chunks[0]);
    return bytes;
}

char* WalkResult::reserveText(size_t length)
{
    if (m_blocks.empty() || m_blockSizes.back() - m_blockUsed < length) {
        // A path longer than a block gets a block of its own size.
        size_t size = length > kBlockBytes ? length : kBlockBytes;
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_blockSizes.push_back(size);
        m_blockUsed = 0;
    }
    char* text = m_blocks.back().get() + m_blockUsed;
    m_blockUsed += length;
    return text;
}

AutomationDate WalkResult::LocalTimeOf(FileInstant instant)
{
    if (instant.seconds == kNoFileInstant.seconds && instant.nanoseconds == 0)
        return kFileTimeZero;
    return AutomationDateFromUnix(instant.seconds, static_cast<long>(instant.nanoseconds));
}

void WalkResult::sortSkipped()
{
    std::sort(m_skipped.begin(), m_skipped.end(),
              [](const SkippedFolder& a, const SkippedFolder& b) { return a.path < b.path; });
}

void WalkResult::append(std::string_view folder, std::string_view name, FileInstant created, FileInstant written)
{
    size_t length = folder.size() + 1 + name.size();
    char* text = reserveText(length);
    std::memcpy(text, folder.data(), folder.size());
    text[folder.size()] = '/';
    std::memcpy(text + folder.size() + 1, name.data(), name.size());

    size_t slot = m_entryCount & (kChunkEntries - 1);
    if (slot == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Entry[]>(kChunkEntries));
    m_chunks.back()[slot] = Entry{text,
                                  static_cast<uint32_t>(length),
                                  created.nanoseconds,
                                  created.seconds,
                                  written.seconds,
                                  written.nanoseconds};
    ++m_entryCount;
}

uint32_t WalkResult::adopt(WalkResult&& part)
{
    auto base = static_cast<uint32_t>(m_chunks.size());
    for (size_t i = 0; i < part.m_blocks.size(); ++i) {
        m_blocks.push_back(std::move(part.m_blocks[i]));
        m_blockSizes.push_back(part.m_blockSizes[i]);
    }
    // New text never goes into an adopted block: mark the last one full.
    m_blockUsed = m_blockSizes.empty() ? 0 : m_blockSizes.back();
    for (auto& chunk : part.m_chunks)
        m_chunks.push_back(std::move(chunk));
    // The order table gets exactly one slot per adopted entry.
    m_adoptedEntries += part.m_entryCount;
    m_order.reserve(m_adoptedEntries);
    for (SkippedFolder& folder : part.m_skipped)
        m_skipped.push_back(std::move(folder));
    part = WalkResult();
    return base;
}

void WalkResult::appendFrom(uint32_t partBase, size_t begin, size_t end)
{
    size_t first = (size_t(partBase) << kChunkShift) + begin;
    for (size_t i = 0; i < end - begin; ++i)
        m_order.push_back(static_cast<uint32_t>(first + i));
}

} // namespace tessaly

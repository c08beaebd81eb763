// SPDX-License-Identifier: MIT
#include "watch/SeenComparison.h"

#include <algorithm>
#include <numeric>

namespace tessaly {
namespace {

/// True when `path` is `folder` or lies below it.
bool Within(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return true;
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

SeenComparison::SeenComparison(const SeenRecord& old, std::string path)
    : m_old(old), m_writer(std::make_unique<SeenRecordWriter>(std::move(path), old.configuration())),
      m_marks(std::make_unique<std::atomic<uint8_t>[]>(old.folders()))
{
    for (size_t i = 0; i < old.folders(); ++i)
        m_marks[i] = Unvisited;
    if (old.state() != SeenRecord::State::Ready)
        m_changed = true;
}

SeenComparison::~SeenComparison() = default;

void SeenComparison::compare(std::string_view folder, std::span<const SeenEntry> now, std::vector<uint8_t>* unseen,
                             std::span<const uint8_t> held)
{
    // The documents in name order, with where each stands in `now`.
    std::vector<uint32_t> order(now.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&now](uint32_t a, uint32_t b) { return now[a].name < now[b].name; });
    std::vector<SeenEntry> sorted;
    sorted.reserve(now.size());
    for (uint32_t i : order)
        sorted.push_back(now[i]);

    std::vector<SeenEntry> before;
    const std::optional<size_t> known = m_old.folders() ? m_old.find(SeenHash(folder)) : std::nullopt;
    if (known && !m_old.entries(*known, &before)) {
        // A folder the record cannot give back: its documents count as not
        // seen, and the record is written anew.
        m_unreadable = true;
        before.clear();
    }
    unseen->assign(now.size(), 1);
    size_t at = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        while (at < before.size() && before[at].name < sorted[i].name)
            ++at;
        if (at < before.size() && before[at] == sorted[i])
            (*unseen)[order[i]] = 0;
    }
    if (!held.empty()) {
        // A held document keeps what the record said of it.
        std::vector<SeenEntry> kept;
        kept.reserve(sorted.size());
        at = 0;
        for (size_t i = 0; i < sorted.size(); ++i) {
            if (!held[order[i]]) {
                kept.push_back(sorted[i]);
                continue;
            }
            while (at < before.size() && before[at].name < sorted[i].name)
                ++at;
            if (at < before.size() && before[at].name == sorted[i].name)
                kept.push_back(before[at]);
        }
        sorted = std::move(kept);
    }
    if (known && before == sorted) {
        m_marks[*known] = Same;
        return;
    }
    if (known)
        m_marks[*known] = Replaced;
    if (sorted.empty() && !known)
        return;
    m_changed = true;
    if (!sorted.empty())
        m_writer->add(folder, sorted);
}

bool SeenComparison::finish(const std::vector<SkippedFolder>& skipped)
{
    // Folders of the old record the walk did not reach are gone, unless
    // they lie where the walk could not look.
    std::vector<size_t> keep;
    std::string path;
    for (size_t i = 0; i < m_old.folders(); ++i) {
        const uint8_t mark = m_marks[i];
        if (mark == Same) {
            keep.push_back(i);
        } else if (mark == Unvisited) {
            const bool leftOut = !skipped.empty() && m_old.folderPath(i, &path) &&
                                 std::any_of(skipped.begin(), skipped.end(), [&path](const SkippedFolder& folder) {
                                     return Within(path, folder.path);
                                 });
            if (leftOut)
                keep.push_back(i);
            else
                m_changed = true;
        }
    }
    if (!m_changed)
        return false;
    for (size_t i : keep) {
        if (!m_old.copyTo(i, *m_writer))
            m_unreadable = true;
    }
    return true;
}

bool SeenComparison::commit(std::string* error)
{
    return m_writer->commit(error);
}

size_t SeenComparison::files() const
{
    return m_writer->files();
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "checkrun/SeenFilter.h"

#include "watch/Keywords.h"
#include "watch/SeenComparison.h"

#include <algorithm>

namespace tessaly {
namespace {

/// The last check's rule: created after it, or written after it but not
/// after the walk's start.
bool ChangedSince(const FoundFile& file, int64_t lastCheck, int64_t walkStart)
{
    return file.created.seconds > lastCheck || (file.written.seconds > lastCheck && file.written.seconds <= walkStart);
}

} // namespace

SeenFilter::SeenFilter(SeenComparison& comparison, Rule rule) : m_comparison(comparison), m_rule(std::move(rule)) {}

void SeenFilter::filter(std::string_view folder, std::span<FoundFile> files)
{
    const bool own = !m_rule.ownFiles.empty() && folder == m_rule.ownFiles;
    std::vector<SeenEntry> documents;
    std::vector<size_t> where;
    documents.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        FoundFile& file = files[i];
        file.keep = false;
        if (own || !PassesKeywords(m_rule.keywords, file.name))
            continue;
        documents.push_back(SeenEntry{
            SeenHash(file.name), SeenIdentity(file.inode, file.size, file.written.seconds, file.written.nanoseconds)});
        where.push_back(i);
    }
    std::vector<uint8_t> held;
    if (!m_rule.holdBack.empty()) {
        held.resize(where.size());
        for (size_t d = 0; d < where.size(); ++d)
            held[d] = std::binary_search(m_rule.holdBack.begin(), m_rule.holdBack.end(), files[where[d]].inode);
    }
    std::vector<uint8_t> unseen;
    m_comparison.compare(folder, documents, &unseen, held);
    for (size_t d = 0; d < where.size(); ++d) {
        FoundFile& file = files[where[d]];
        file.keep = m_rule.useRecord ? unseen[d] != 0 : ChangedSince(file, m_rule.lastCheck, m_rule.walkStart);
        if (!held.empty() && held[d])
            file.keep = false;
    }
}

} // namespace tessaly

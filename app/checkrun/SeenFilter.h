// SPDX-License-Identifier: MIT
#pragma once

#include "watch/FolderWalk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

class SeenComparison;

/// A check run's choice among a row's files, folder by folder as the walk
/// reads them. Documents are the files whose names pass the row's keywords,
/// except the program's own files when the data folder lies in the walk;
/// each goes into the row's new record. A document is kept for the result
/// when the row's record has not seen it as it is now (new, moved in,
/// renamed, changed), or, for a row without a usable record, when it was
/// created or written after the row's last check (written times after the
/// walk's start are not looked at, or a file dated into the future would
/// count at every run until its time came). Thread-safe as the walk needs.
class SeenFilter final : public WalkFilter {
public:
    struct Rule {
        bool useRecord = false;            ///< the record decides; else the last check
        std::vector<std::string> keywords; ///< tokens (KeywordTokens)
        std::string ownFiles;              ///< the walk's folder text of the data folder, or ""
        int64_t lastCheck = 0;             ///< Unix seconds
        int64_t walkStart = 0;             ///< Unix seconds
        /// Inode numbers (sorted) of documents still being changed: left
        /// out, and left in the record as they were, for a later run.
        std::vector<uint64_t> holdBack = {};
    };

    /// `comparison` must outlive the filter.
    SeenFilter(SeenComparison& comparison, Rule rule);

    void filter(std::string_view folder, std::span<FoundFile> files) override;

private:
    SeenComparison& m_comparison;
    Rule m_rule;
};

} // namespace tessaly

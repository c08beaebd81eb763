// SPDX-License-Identifier: MIT
#pragma once

#include "watch/SeenRecord.h"
#include "watch/WalkResult.h"

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// One walk of a row held against the row's record, folder by folder as
/// the walk reads them: which documents are new or changed, and the row's
/// new record. Nothing is written while every folder matches the record;
/// from the first difference on, the folders that differ are written, and
/// finish() copies the rest from the old record. Folders the walk had to
/// leave out keep what the old record says of them and of everything below
/// them, so that what changed there meanwhile is found once they can be
/// read again. compare() is thread-safe.
class SeenComparison final {
public:
    /// `old` (whatever its state: then nothing counts as seen) must outlive
    /// the comparison; the new record goes to `path`.
    SeenComparison(const SeenRecord& old, std::string path);
    ~SeenComparison();

    /// The documents of `folder` now (in any order); `unseen[i]` is set to
    /// whether `now[i]` is not in the record as it is (new, or changed).
    /// Documents marked in `held` (when not empty) are left as the record
    /// had them (left out when it had none), so they are found next time.
    void compare(std::string_view folder, std::span<const SeenEntry> now, std::vector<uint8_t>* unseen,
                 std::span<const uint8_t> held = {});
    /// After the walk: true when the record must be written (something
    /// differs, or there was no usable record); then copies what it keeps
    /// of the old record. `skipped` are the folders the walk left out.
    bool finish(const std::vector<SkippedFolder>& skipped);
    /// Puts the new record in place (after finish() said so).
    bool commit(std::string* error);

    /// Documents in the new record, for the benchmark's figures.
    size_t files() const;
    /// False once a folder of the old record could not be read back.
    bool oldRecordReadable() const { return !m_unreadable.load(); }

private:
    enum Mark : uint8_t { Unvisited = 0, Same = 1, Replaced = 2 };

    const SeenRecord& m_old;
    std::unique_ptr<SeenRecordWriter> m_writer;
    std::unique_ptr<std::atomic<uint8_t>[]> m_marks;
    std::atomic<bool> m_changed{false};
    std::atomic<bool> m_unreadable{false};
};

} // namespace tessaly

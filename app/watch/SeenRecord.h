// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class AtomicFile;
struct Subscription;

/// One document as a row's record keeps it: a hash of its name (within its
/// folder) and a hash of its identity. The identity changes whenever the
/// content may have: inode, size and last-write time to the nanosecond.
/// The device is left out, so that a share mounted again is not new.
struct SeenEntry {
    uint64_t name = 0;
    uint64_t identity = 0;

    friend bool operator==(const SeenEntry&, const SeenEntry&) = default;
};

/// The hash of a name, a folder path or any other text in the record.
uint64_t SeenHash(std::string_view text);
/// The identity hash of a file (see SeenEntry).
uint64_t SeenIdentity(uint64_t inode, uint64_t size, int64_t writtenSeconds, uint32_t writtenNanoseconds);
/// What a row's record belongs to: its folder, pattern, keywords and
/// whether subfolders are walked. Any change starts a fresh record.
uint64_t SeenConfiguration(const Subscription& row, bool subfolders);
/// The record file of row `row` (0..9) in the data folder `folder`.
std::string SeenRecordPath(const std::string& folder, size_t row);

/// What a row has seen: for each folder the documents it held at the last
/// run, as sorted entries. The file is flat and binary (each folder's path
/// and entries, then an index of the folders sorted by the hash of their
/// path, then a trailer with checksums); a folder's entries are read when
/// the walk reaches the folder, so memory holds the index only. Reading is
/// thread-safe.
class SeenRecord final {
public:
    enum class State {
        Missing, ///< no record: the row uses its last check once
        Stale,   ///< the record belongs to other settings of the row
        Damaged, ///< the file cannot be trusted (reason())
        Ready,
    };

    /// Opens the record at `path` (never through a link) for a row whose
    /// settings hash to `configuration`.
    SeenRecord(std::string path, uint64_t configuration);
    ~SeenRecord();
    SeenRecord(const SeenRecord&) = delete;
    SeenRecord& operator=(const SeenRecord&) = delete;

    State state() const { return m_state; }
    const std::string& reason() const { return m_reason; }
    const std::string& path() const { return m_path; }
    uint64_t configuration() const { return m_configuration; }

    /// Number of folders in the record (0 unless Ready).
    size_t folders() const { return m_index.size(); }
    /// The folder whose path hashes to `pathHash`, if the record has it.
    std::optional<size_t> find(uint64_t pathHash) const;
    /// The entries of folder `index`, sorted by name hash. False when they
    /// cannot be read or fail their checksum.
    bool entries(size_t index, std::vector<SeenEntry>* out) const;
    /// The path of folder `index`; false when it cannot be read.
    bool folderPath(size_t index, std::string* out) const;
    /// Copies folder `index` (path and entries) into `writer`'s new record.
    bool copyTo(size_t index, class SeenRecordWriter& writer) const;

    /// Moves a damaged file aside (`path` + ".damaged"), so that it can be
    /// looked at while a new one is built. False with `error` set.
    bool setAside(std::string* error) const;

    struct IndexEntry {
        uint64_t pathHash;
        uint64_t offset; ///< where the path starts; the entries follow it
        uint32_t pathLength;
        uint32_t count;
        uint64_t checksum; ///< of the path and the entries
    };

private:
    bool load();
    bool damaged(std::string reason);

    std::string m_path;
    uint64_t m_configuration;
    int m_fd = -1;
    State m_state = State::Missing;
    std::string m_reason;
    std::vector<IndexEntry> m_index;
};

/// A row's new record, written while the walk goes: folder by folder as
/// they are read (from any thread), then the index and the trailer. The
/// file is made only when the first folder is added, in the data folder,
/// owner-only, and replaces the old record only with commit(), synced.
class SeenRecordWriter final {
public:
    SeenRecordWriter(std::string path, uint64_t configuration);
    ~SeenRecordWriter();
    SeenRecordWriter(const SeenRecordWriter&) = delete;
    SeenRecordWriter& operator=(const SeenRecordWriter&) = delete;

    /// Adds one folder with its entries (sorted by name hash). Thread-safe.
    bool add(std::string_view folder, const std::vector<SeenEntry>& entries);
    /// Writes the index and the trailer and puts the file in place of the
    /// old record (an empty record when nothing was added).
    bool commit(std::string* error);

    size_t files() const { return m_files; }

private:
    bool write(std::string_view bytes);

    std::string m_path;
    uint64_t m_configuration;
    std::mutex m_mutex;
    std::unique_ptr<AtomicFile> m_file;
    uint64_t m_written = 0;
    size_t m_files = 0;
    std::vector<SeenRecord::IndexEntry> m_index;
};

} // namespace tessaly

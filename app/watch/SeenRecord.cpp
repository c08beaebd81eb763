// SPDX-License-Identifier: MIT
#include "watch/SeenRecord.h"

#include "common/AtomicFile.h"
#include "common/FileSystem.h"
#include "watch/SubscriptionTable.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

static_assert(std::endian::native == std::endian::little, "the record is written in the machine's byte order");

// The trailer ends the file: magic, configuration, folders, files, where
// the index starts, the index's checksum, its own checksum, zero.
constexpr char kMagic[8] = {'T', 'S', 'S', 'E', 'E', 'N', '1', '\n'};
constexpr size_t kTrailerBytes = 64;
constexpr size_t kIndexEntryBytes = 32;
constexpr size_t kEntryBytes = sizeof(SeenEntry);
static_assert(kEntryBytes == 16);

/// FNV-1a, 64 bits, continued from `hash`.
uint64_t Fnv(std::string_view bytes, uint64_t hash = 0xcbf29ce484222325ull)
{
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

/// splitmix64's finaliser: spreads every bit of `value` over the result.
uint64_t Mix(uint64_t value)
{
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

template <typename T>
void Put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Get(const char* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

bool ReadAt(int fd, char* buffer, size_t size, uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = RetryOnEintr([&] { return ::pread(fd, buffer, size, static_cast<off_t>(offset)); });
        if (n <= 0)
            return false;
        buffer += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace

uint64_t SeenHash(std::string_view text)
{
    return Fnv(text);
}

uint64_t SeenIdentity(uint64_t inode, uint64_t size, int64_t writtenSeconds, uint32_t writtenNanoseconds)
{
    uint64_t hash = Mix(inode ^ 0x9e3779b97f4a7c15ull);
    hash = Mix(hash ^ size);
    hash = Mix(hash ^ static_cast<uint64_t>(writtenSeconds));
    return Mix(hash ^ writtenNanoseconds);
}

uint64_t SeenConfiguration(const Subscription& row, bool subfolders)
{
    std::string key;
    for (const std::string* cell : {&row.Folder, &row.FileName, &row.Keyword})
        key.append(*cell).push_back('\0');
    key.push_back(subfolders ? '1' : '0');
    return Fnv(key);
}

std::string SeenRecordPath(const std::string& folder, size_t row)
{
    char name[16];
    std::snprintf(name, sizeof name, "seen%02zu.dat", row + 1);
    return JoinPath(folder, name);
}

SeenRecord::SeenRecord(std::string path, uint64_t configuration)
    : m_path(std::move(path)), m_configuration(configuration)
{
    std::string error;
    m_fd = OpenRegularFile(m_path, &error);
    if (m_fd < 0) {
        if (PathExists(m_path))
            damaged(error);
        return;
    }
    if (!load())
        m_index.clear();
}

SeenRecord::~SeenRecord()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SeenRecord::damaged(std::string reason)
{
    m_state = State::Damaged;
    m_reason = std::move(reason);
    return false;
}

bool SeenRecord::load()
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || static_cast<size_t>(st.st_size) < kTrailerBytes)
        return damaged("短すぎます");
    const auto size = static_cast<uint64_t>(st.st_size);
    char trailer[kTrailerBytes];
    if (!ReadAt(m_fd, trailer, kTrailerBytes, size - kTrailerBytes))
        return damaged("読み込めません: " + ErrorText(errno));
    if (std::memcmp(trailer, kMagic, sizeof kMagic) != 0 ||
        Get<uint64_t>(trailer + 48) != Fnv(std::string_view(trailer, 48)))
        return damaged("末尾が正しくありません");
    if (Get<uint64_t>(trailer + 8) != m_configuration) {
        m_state = State::Stale;
        return false;
    }
    const auto folders = Get<uint64_t>(trailer + 16);
    const auto indexOffset = Get<uint64_t>(trailer + 32);
    if (folders > size / kIndexEntryBytes || indexOffset + folders * kIndexEntryBytes + kTrailerBytes != size)
        return damaged("索引の大きさが正しくありません");
    std::string index(folders * kIndexEntryBytes, '\0');
    if (!ReadAt(m_fd, index.data(), index.size(), indexOffset))
        return damaged("索引を読み込めません: " + ErrorText(errno));
    if (Fnv(index) != Get<uint64_t>(trailer + 40))
        return damaged("索引が壊れています");
    m_index.resize(folders);
    for (size_t i = 0; i < folders; ++i) {
        const char* at = index.data() + i * kIndexEntryBytes;
        IndexEntry& entry = m_index[i];
        entry = {Get<uint64_t>(at), Get<uint64_t>(at + 8), Get<uint32_t>(at + 16), Get<uint32_t>(at + 20),
                 Get<uint64_t>(at + 24)};
        if (entry.offset > indexOffset ||
            entry.pathLength + uint64_t(entry.count) * kEntryBytes > indexOffset - entry.offset ||
            (i > 0 && m_index[i - 1].pathHash > entry.pathHash))
            return damaged("索引が正しくありません");
    }
    m_state = State::Ready;
    return true;
}

std::optional<size_t> SeenRecord::find(uint64_t pathHash) const
{
    auto it = std::lower_bound(m_index.begin(), m_index.end(), pathHash,
                               [](const IndexEntry& entry, uint64_t hash) { return entry.pathHash < hash; });
    if (it == m_index.end() || it->pathHash != pathHash)
        return std::nullopt;
    return static_cast<size_t>(it - m_index.begin());
}

bool SeenRecord::entries(size_t index, std::vector<SeenEntry>* out) const
{
    const IndexEntry& entry = m_index.at(index);
    std::string bytes(entry.pathLength + size_t(entry.count) * kEntryBytes, '\0');
    if (!ReadAt(m_fd, bytes.data(), bytes.size(), entry.offset) || Fnv(bytes) != entry.checksum)
        return false;
    out->resize(entry.count);
    std::memcpy(out->data(), bytes.data() + entry.pathLength, size_t(entry.count) * kEntryBytes);
    return true;
}

bool SeenRecord::folderPath(size_t index, std::string* out) const
{
    const IndexEntry& entry = m_index.at(index);
    out->resize(entry.pathLength);
    return ReadAt(m_fd, out->data(), out->size(), entry.offset);
}

bool SeenRecord::copyTo(size_t index, SeenRecordWriter& writer) const
{
    std::string folder;
    std::vector<SeenEntry> entries;
    return this->entries(index, &entries) && folderPath(index, &folder) && writer.add(folder, entries);
}

bool SeenRecord::setAside(std::string* error) const
{
    const std::string aside = m_path + ".damaged";
    if (::rename(m_path.c_str(), aside.c_str()) == 0)
        return true;
    if (error)
        *error = aside + " に移せません: " + ErrorText(errno);
    return false;
}

SeenRecordWriter::SeenRecordWriter(std::string path, uint64_t configuration)
    : m_path(std::move(path)), m_configuration(configuration)
{
}

SeenRecordWriter::~SeenRecordWriter() = default;

bool SeenRecordWriter::write(std::string_view bytes)
{
    if (!m_file) {
        m_file = std::make_unique<AtomicFile>(m_path);
        if (!m_file->open())
            return false;
    }
    if (!m_file->write(bytes))
        return false;
    m_written += bytes.size();
    return true;
}

bool SeenRecordWriter::add(std::string_view folder, const std::vector<SeenEntry>& entries)
{
    std::string bytes(folder);
    bytes.append(reinterpret_cast<const char*>(entries.data()), entries.size() * kEntryBytes);
    const SeenRecord::IndexEntry entry{SeenHash(folder), 0, static_cast<uint32_t>(folder.size()),
                                       static_cast<uint32_t>(entries.size()), Fnv(bytes)};
    const std::lock_guard lock(m_mutex);
    const uint64_t offset = m_written;
    if (!write(bytes))
        return false;
    m_index.push_back(entry);
    m_index.back().offset = offset;
    m_files += entries.size();
    return true;
}

bool SeenRecordWriter::commit(std::string* error)
{
    const std::lock_guard lock(m_mutex);
    std::sort(m_index.begin(), m_index.end(),
              [](const SeenRecord::IndexEntry& a, const SeenRecord::IndexEntry& b) { return a.pathHash < b.pathHash; });
    std::string index;
    index.reserve(m_index.size() * kIndexEntryBytes);
    for (const SeenRecord::IndexEntry& entry : m_index) {
        Put(index, entry.pathHash);
        Put(index, entry.offset);
        Put(index, entry.pathLength);
        Put(index, entry.count);
        Put(index, entry.checksum);
    }
    const uint64_t indexOffset = m_written;
    std::string trailer(kMagic, sizeof kMagic);
    Put(trailer, m_configuration);
    Put(trailer, uint64_t(m_index.size()));
    Put(trailer, uint64_t(m_files));
    Put(trailer, indexOffset);
    Put(trailer, Fnv(index));
    Put(trailer, Fnv(trailer));
    Put(trailer, uint64_t(0));
    if (write(index) && write(trailer) && m_file->commit())
        return true;
    if (error)
        *error = m_file ? m_file->error() : m_path;
    return false;
}

} // namespace tessaly

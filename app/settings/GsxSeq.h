// SPDX-License-Identifier: MIT
#pragma once

#include "common/AtomicFile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The scrambled record file: a sequence of text records in a small binary
/// file, each record XOR-ed with one row of a random key table carried in
/// the file's header.
///
///     "GSXVBSEQV1.0" 0x02 | key table 8 x 128 | records ... | 0x06
///     record: 0x03 (empty) | 0x04 row len-hi len-lo data[len]
///
/// Texts are UTF-8 in the program and code page 932 in the file. One object
/// holds one key table and at most one open file, written or read from
/// start to end in one go. Not thread-safe.
class GsxSeq final {
public:
    using KeyTable = std::array<std::array<uint8_t, 128>, 8>;

    static constexpr std::string_view kMagic = "GSXVBSEQV1.0";
    static constexpr uint8_t kFormat = 0x02;
    static constexpr uint8_t kTagEmpty = 0x03;
    static constexpr uint8_t kTagString = 0x04;
    static constexpr uint8_t kTagEnd = 0x06;
    static constexpr size_t kHeaderSize = 12 + 1 + 8 * 128;
    static constexpr size_t kMaxRecordBytes = 32767;

    /// Results of OpenSeqFile.
    static constexpr int kOpened = 1;
    static constexpr int kNoFile = -1;
    static constexpr int kBadMagic = -2;
    static constexpr int kBadFormat = -3;

    /// Results of GetSeqString.
    static constexpr int kRecord = 0;
    static constexpr int kEnd = 1;
    static constexpr int kUnknownTag = -1;
    static constexpr int kBadRow = -2;
    /// A run-time failure: a read error, a length of 0 or with its top bit
    /// set, or a file that ends before its end tag. error() says which; the
    /// file has been closed.
    static constexpr int kFailed = -99;

    GsxSeq();
    ~GsxSeq();
    GsxSeq(const GsxSeq&) = delete;
    GsxSeq& operator=(const GsxSeq&) = delete;

    /// Fills the key table with fresh pseudo-random bytes in 3..253.
    void MakeKeyTable();

    /// Starts a new file at `path` holding the header and the current key
    /// table. The file replaces any file at `path` only when CloseSeqFile
    /// succeeds; until then the old file stays as it was. It is created
    /// owner-read/write only. False with error() set on failure.
    bool CreateSeqFile(const std::string& path);

    /// Appends one record: 0x03 for "", else 0x04 with a random row. False on
    /// failure (also for a text of more than 32767 code-page bytes).
    bool PutSeqString(std::string_view text);

    /// Appends the end tag and puts the file in place. False on failure, in
    /// which case nothing was replaced.
    bool CloseSeqFile();

    /// Opens `path` for reading and loads its key table. kOpened, or
    /// kNoFile / kBadMagic / kBadFormat, after which the key table is
    /// unchanged and nothing is open. A file that cannot be read at all
    /// gives kFailed.
    int OpenSeqFile(const std::string& path);

    /// Reads the next record into `text`. kRecord (text set), kEnd (file
    /// closed, text untouched), kUnknownTag (only the tag consumed),
    /// kBadRow (tag and row consumed), or kFailed (file closed).
    int GetSeqString(std::string* text);

    /// XOR of `bytes` with row `row` of `table`, key position restarting at
    /// 0 and wrapping after 127. Applying it twice gives the input back.
    static std::string ScrambleBytes(std::string_view bytes, int row, const KeyTable& table);

    const KeyTable& keyTable() const { return m_keyTable; }
    void setKeyTable(const KeyTable& table) { m_keyTable = table; }
    const std::string& error() const { return m_error; }

private:
    bool writeBytes(std::string_view bytes);
    bool readBytes(void* buffer, size_t size);
    int failRead(std::string message);
    void closeReader();

    KeyTable m_keyTable{};
    std::unique_ptr<AtomicFile> m_writer;
    std::FILE* m_reader = nullptr;
    std::string m_readPath;
    std::string m_error;
};

} // namespace tessaly

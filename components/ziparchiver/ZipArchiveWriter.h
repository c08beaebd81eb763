// SPDX-License-Identifier: MIT
#pragma once

#include "ZipEntries.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

struct archive;

namespace tessaly::zip {

/// Writes one new zip archive with libarchive: deflated entries, names stored
/// as their bytes (with the language-encoding flag when they are valid
/// UTF-8, without it otherwise), and traditional PKWARE encryption of
/// every entry when a password is given. The archive file is created by this
/// object and never replaces an existing one; unless finish() succeeds, the
/// destructor removes what was written, so no half archive stays behind.
/// Every step returns 0 or a failure code of TessalyZip.h with a message in
/// `error`. One object per archive, one thread at a time.
class ZipArchiveWriter final {
public:
    ZipArchiveWriter();
    ~ZipArchiveWriter();
    ZipArchiveWriter(const ZipArchiveWriter&) = delete;
    ZipArchiveWriter& operator=(const ZipArchiveWriter&) = delete;

    /// Creates the archive file at `path` (mode 0600). `password` is used as
    /// given, byte for byte, when `encrypt` is set.
    int32_t create(const std::string& path, bool encrypt, const std::string& password, std::string* error);

    /// Stores one entry: a folder entry, or the whole content of a file as it
    /// is when it is opened.
    int32_t add(const ZipEntry& entry, std::string* error);

    /// Writes the central directory and closes the file.
    int32_t finish(std::string* error);

private:
    int32_t configure(bool encrypt, const std::string& password, std::string* error);
    int32_t addFolder(const ZipEntry& entry, std::string* error);
    int32_t addFile(const ZipEntry& entry, std::string* error);
    int32_t writeHeader(const ZipEntry& entry, mode_t type, const struct stat& st, std::string* error);
    int32_t copyContent(int input, off_t size, const ZipEntry& entry, std::string* error);
    std::string libraryError(const std::string& what) const;
    void discard();

    std::string m_path;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    struct archive* m_archive = nullptr;
    std::vector<char> m_buffer;
    bool m_finished = false;
};

} // namespace tessaly::zip

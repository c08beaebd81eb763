// SPDX-License-Identifier: MIT
#include "ZipArchiveWriter.h"

#include "TessalyZip.h"
#include "common/FileSystem.h"
#include "common/PathField.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::zip {
namespace {

constexpr size_t kReadBlock = 1 << 20;

using EntryPtr = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

/// An input file, opened once and read through that descriptor only:
/// never through a symbolic link, and without waiting on a pipe put in its
/// place. Closes the descriptor when it goes out of scope.
class InputFile final {
public:
    explicit InputFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW))
    {
    }
    ~InputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool IsAscii(const std::string& text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

/// The locale under which libarchive writes one entry header.
///
/// WORKAROUND: libarchive takes the language-encoding flag for the whole
/// archive from its hdrcharset option: with hdrcharset=UTF-8 a name that is
/// not UTF-8 is flagged as UTF-8 all the same (readers then garble or refuse
/// it), and depending on the locale some valid names are refused. Without
/// the option it stores the name's bytes unchanged and sets the flag for a
/// name that is not plain ASCII exactly when the calling thread's locale is
/// UTF-8. So each header is written
/// with the thread switched to a UTF-8 locale for a UTF-8 name and to the
/// "C" locale for any other, and switched back afterwards; the rest of the
/// process is not affected.
class NameLocale final {
public:
    explicit NameLocale(const std::string& name)
    {
        if (IsAscii(name))
            return;
        static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        static const locale_t plain = ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
        const locale_t wanted = ValidUtf8(name) == name ? utf8 : plain;
        if (wanted == static_cast<locale_t>(nullptr)) {
            m_failed = true;
            return;
        }
        m_previous = ::uselocale(wanted);
    }
    ~NameLocale()
    {
        if (m_previous != static_cast<locale_t>(nullptr))
            ::uselocale(m_previous);
    }
    NameLocale(const NameLocale&) = delete;
    NameLocale& operator=(const NameLocale&) = delete;

    /// False when the locale the name needs is missing from the system.
    bool ready() const { return !m_failed; }

private:
    locale_t m_previous = static_cast<locale_t>(nullptr);
    bool m_failed = false;
};

EntryPtr NewEntry(const std::string& name, mode_t type, const struct stat& st)
{
    EntryPtr entry(archive_entry_new(), &archive_entry_free);
    if (!entry)
        return entry;
    // The name's bytes, as they are: no character set conversion.
    archive_entry_copy_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), type);
    archive_entry_set_perm(entry.get(), st.st_mode & 0777);
    archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    archive_entry_set_size(entry.get(), type == AE_IFREG ? st.st_size : 0);
    return entry;
}

} // namespace

ZipArchiveWriter::ZipArchiveWriter() = default;

ZipArchiveWriter::~ZipArchiveWriter()
{
    if (!m_finished)
        discard();
}

int32_t ZipArchiveWriter::create(const std::string& path, bool encrypt, const std::string& password, std::string* error)
{
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        *error = errno == EEXIST ? "書庫ファイルが既にあります (上書きはしません): " + path
                                 : "書庫ファイルを作成できません: " + path + " (" + ErrorText(errno) + ")";
        return TESSALY_ZIP_CREATE_ERROR;
    }
    m_path = path;
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
    }
    return configure(encrypt, password, error);
}

int32_t ZipArchiveWriter::configure(bool encrypt, const std::string& password, std::string* error)
{
    m_archive = archive_write_new();
    if (!m_archive) {
        *error = "書庫を準備できません (メモリ不足)。";
        return TESSALY_ZIP_INTERNAL_ERROR;
    }
    // No hdrcharset: names are stored as their bytes (see NameLocale).
    bool ready = archive_write_set_format_zip(m_archive) == ARCHIVE_OK &&
                 archive_write_set_bytes_per_block(m_archive, 65536) == ARCHIVE_OK &&
                 archive_write_set_bytes_in_last_block(m_archive, 1) == ARCHIVE_OK;
    if (ready && encrypt) {
        // Traditional PKWARE encryption: AES entries cannot be opened by many
        // common unzip tools, and the recipient must be able to open the mail.
        ready = archive_write_set_options(m_archive, "zip:encryption=zipcrypt") == ARCHIVE_OK &&
                archive_write_set_passphrase(m_archive, password.c_str()) == ARCHIVE_OK;
    }
    if (!ready || archive_write_open_fd(m_archive, m_fd) != ARCHIVE_OK) {
        *error = libraryError("書庫を準備できません");
        return TESSALY_ZIP_INTERNAL_ERROR;
    }
    m_buffer.resize(kReadBlock);
    return 0;
}

int32_t ZipArchiveWriter::add(const ZipEntry& entry, std::string* error)
{
    return entry.folder ? addFolder(entry, error) : addFile(entry, error);
}

int32_t ZipArchiveWriter::addFolder(const ZipEntry& entry, std::string* error)
{
    struct stat st {};
    if (::lstat(entry.sourcePath.c_str(), &st) != 0) {
        *error = "入力フォルダを読めません: " + entry.sourcePath + " (" + ErrorText(errno) + ")";
        return TESSALY_ZIP_INPUT_ERROR;
    }
    return writeHeader(entry, AE_IFDIR, st, error);
}

int32_t ZipArchiveWriter::writeHeader(const ZipEntry& entry, mode_t type, const struct stat& st, std::string* error)
{
    const std::string what =
        (type == AE_IFDIR ? "書庫にフォルダ " : "書庫にファイル ") + entry.name + " を書き込めません";
    NameLocale locale(entry.name);
    if (!locale.ready()) {
        *error = what + " (UTF-8 のロケール C.UTF-8 がありません)";
        return TESSALY_ZIP_INTERNAL_ERROR;
    }
    EntryPtr header = NewEntry(entry.name, type, st);
    // ARCHIVE_WARN here means the name could not be stored as given.
    if (!header || archive_write_header(m_archive, header.get()) != ARCHIVE_OK) {
        *error = libraryError(what);
        return TESSALY_ZIP_WRITE_ERROR;
    }
    return 0;
}

int32_t ZipArchiveWriter::addFile(const ZipEntry& entry, std::string* error)
{
    InputFile input(entry.sourcePath);
    struct stat st {};
    if (input.fd() < 0 && errno == ELOOP) {
        *error = "シンボリックリンクは書庫に入れません: " + entry.sourcePath;
        return TESSALY_ZIP_INPUT_ERROR;
    }
    if (input.fd() < 0 || ::fstat(input.fd(), &st) != 0) {
        *error = "入力ファイルを開けません: " + entry.sourcePath + " (" + ErrorText(errno) + ")";
        return TESSALY_ZIP_INPUT_ERROR;
    }
    if (!S_ISREG(st.st_mode) || (st.st_dev == m_device && st.st_ino == m_inode)) {
        *error = "通常のファイルではありません: " + entry.sourcePath;
        return TESSALY_ZIP_INPUT_ERROR;
    }
    if (int32_t status = writeHeader(entry, AE_IFREG, st, error))
        return status;
    ::posix_fadvise(input.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    if (int32_t status = copyContent(input.fd(), st.st_size, entry, error))
        return status;
    if (archive_write_finish_entry(m_archive) != ARCHIVE_OK) {
        *error = libraryError("書庫にファイル " + entry.name + " を書き込めません");
        return TESSALY_ZIP_WRITE_ERROR;
    }
    return 0;
}

int32_t ZipArchiveWriter::copyContent(int input, off_t size, const ZipEntry& entry, std::string* error)
{
    // Exactly the size the header announced is stored; a file that shrinks
    // while it is read is reported rather than stored cut short.
    off_t remaining = size;
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min<off_t>(remaining, static_cast<off_t>(m_buffer.size())));
        const ssize_t got = RetryOnEintr([&] { return ::read(input, m_buffer.data(), want); });
        if (got <= 0) {
            *error = got == 0 ? "入力ファイルが読み込み中に短くなりました: " + entry.sourcePath
                              : "入力ファイルを読めません: " + entry.sourcePath + " (" + ErrorText(errno) + ")";
            return TESSALY_ZIP_INPUT_ERROR;
        }
        if (archive_write_data(m_archive, m_buffer.data(), static_cast<size_t>(got)) != got) {
            *error = libraryError("書庫を書き込めません: " + m_path);
            return TESSALY_ZIP_WRITE_ERROR;
        }
        remaining -= got;
    }
    return 0;
}

int32_t ZipArchiveWriter::finish(std::string* error)
{
    if (archive_write_close(m_archive) != ARCHIVE_OK) {
        *error = libraryError("書庫を書き終えられません: " + m_path);
        return TESSALY_ZIP_WRITE_ERROR;
    }
    archive_write_free(m_archive);
    m_archive = nullptr;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        *error = "書庫を書き終えられません: " + m_path + " (" + ErrorText(errno) + ")";
        return TESSALY_ZIP_WRITE_ERROR;
    }
    m_finished = true;
    return 0;
}

std::string ZipArchiveWriter::libraryError(const std::string& what) const
{
    // The library's own text names the failing step; errno, when it has one,
    // names the cause a user can act on (a full disk, a lost permission).
    const int number = m_archive ? archive_errno(m_archive) : 0;
    const char* text = m_archive ? archive_error_string(m_archive) : nullptr;
    std::string cause = number > 0 ? ErrorText(number) : (text ? text : "原因不明のエラー");
    if (number > 0 && text)
        cause += "; " + std::string(text);
    return what + " (" + cause + ")";
}

void ZipArchiveWriter::discard()
{
    if (m_archive) {
        // Marked failed, freeing writes nothing more to the file.
        archive_write_fail(m_archive);
        archive_write_free(m_archive);
        m_archive = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    // Only the file this object created goes, not one put there since.
    struct stat st {};
    if (!m_path.empty() && ::lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
        ::unlink(m_path.c_str());
}

} // namespace tessaly::zip

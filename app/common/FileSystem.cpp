// SPDX-License-Identifier: MIT
#include "common/FileSystem.h"

#include "common/PathField.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

bool FileHasContent(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return !S_ISREG(st.st_mode) || st.st_size != 0;
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    path.push_back('/');
    path.append(name);
    return path;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int OpenRegularFile(const std::string& path, std::string* error, int access)
{
    return OpenRegularFileAt(AT_FDCWD, path, error, access);
}

int OpenRegularFileAt(int folder, const std::string& path, std::string* error, int access)
{
    // O_NONBLOCK: opening a FIFO without a writer would wait for one.
    const int fd = ::openat(folder, path.c_str(), access | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    const char* const refused = (access & O_ACCMODE) == O_RDONLY ? "読み込みません" : "使用しません";
    if (fd < 0) {
        if (error)
            *error = errno == ELOOP ? std::string("シンボリックリンクのため") + refused : ErrorText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int cause = errno;
        ::close(fd);
        if (error)
            *error = S_ISDIR(st.st_mode) ? ErrorText(EISDIR)
                     : st.st_mode != 0   ? std::string("通常のファイルではないため") + refused
                                         : ErrorText(cause);
        return -1;
    }
    // Regular files never wait anyway; the flag goes for clarity.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int OpenRegularFileBeneath(int folder, std::string_view relative, std::string* error)
{
    int at = folder;
    auto leave = [&](int result) {
        if (at != folder)
            ::close(at);
        return result;
    };
    for (;;) {
        while (relative.starts_with('/'))
            relative.remove_prefix(1);
        const size_t slash = relative.find('/');
        if (slash == std::string_view::npos)
            break;
        const std::string part(relative.substr(0, slash));
        relative.remove_prefix(slash + 1);
        if (part == "." || part == "..") {
            if (error)
                *error = ErrorText(EINVAL);
            return leave(-1);
        }
        const int next = ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int cause = errno;
            struct stat st {};
            if (error)
                *error = ::fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)
                             ? "フォルダ「" + ValidUtf8(part) + "」がシンボリックリンクのため読み込みません"
                             : ErrorText(cause);
            return leave(-1);
        }
        leave(0);
        at = next;
    }
    if (relative.empty() || relative == "." || relative == "..") {
        if (error)
            *error = ErrorText(EINVAL);
        return leave(-1);
    }
    return leave(OpenRegularFileAt(at, std::string(relative), error));
}

bool IsRegularOrMissing(const std::string& path, std::string* error)
{
    if (!PathExists(path))
        return true;
    const int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error, size_t limit)
{
    contents->clear();
    const int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return false;
    // One allocation of the right size instead of doubling as the file comes in.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        contents->reserve(std::min(static_cast<size_t>(st.st_size), limit));
    char buffer[65536];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n == 0)
            break;
        if (n < 0 || contents->size() + static_cast<size_t>(n) > limit) {
            if (error)
                *error = ErrorText(n < 0 ? errno : EFBIG);
            ::close(fd);
            contents->clear();
            return false;
        }
        contents->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string ErrorText(int errorNumber)
{
    // The causes a user meets with files and folders, in the program's
    // language; anything rarer keeps the system's text with its number.
    switch (errorNumber) {
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case ENOENT: return "ファイルまたはフォルダがありません";
    case ENOTDIR: return "途中のパスがフォルダではありません";
    case EISDIR: return "フォルダです";
    case ELOOP: return "シンボリックリンクが多すぎるか、リンクをたどれません";
    case ENAMETOOLONG: return "名前が長すぎます";
    case ENOSPC: return "ディスクの空き容量が足りません";
    case EDQUOT: return "ディスク使用量の制限を超えました";
    case EFBIG: return "ファイルが大きすぎます";
    case EROFS: return "読み取り専用のファイルシステムです";
    case EIO: return "入出力エラーが発生しました";
    case EEXIST: return "同じ名前のファイルがすでにあります";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます";
    case ENOMEM: return "メモリが足りません";
    case EBUSY: return "使用中です";
    case ETXTBSY: return "実行中のファイルです";
    case ESTALE: return "ネットワーク上のファイルが無効になりました";
    default: break;
    }
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return "エラー " + std::to_string(errorNumber) + (text ? " (" + std::string(text) + ")" : std::string());
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

/// Calls `call` (a system call that answers -1 and sets errno on failure)
/// again for as long as a signal interrupts it; gives its last result.
template <typename Call>
auto RetryOnEintr(Call call)
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}

/// True when something at `path` is worth reading: a regular file of
/// non-zero size, or anything but a folder that is not a regular file (a
/// symbolic link, a FIFO, a device, a socket), which OpenRegularFile then
/// refuses with its reason instead of it passing for a missing file. The
/// name itself is looked at; links are not followed.
bool FileHasContent(const std::string& path);

/// True when anything (file, folder, link, ...) exists at `path`.
bool PathExists(const std::string& path);

/// True when `path` names a folder (following symbolic links).
bool IsDirectory(const std::string& path);

/// The folder text, "/", and the name, joined without looking at either.
std::string JoinPath(std::string_view folder, std::string_view name);

/// Makes the names in `folder` reach the disk (fsync of the folder), so
/// that a file just created or renamed there survives a crash. Best effort.
void SyncFolder(const std::string& folder);

/// Opens the regular file at `path`, for reading unless `access` says
/// otherwise (O_WRONLY or O_RDWR, with O_APPEND or O_CREAT; a file it
/// creates is owner-only): never through a symbolic link in its last part,
/// and never waiting on a FIFO or a device under that name (they are
/// refused, as are folders). Gives the descriptor (close-on-exec), or -1
/// with `error` (when given) set to the reason, in Japanese and without the
/// path.
int OpenRegularFile(const std::string& path, std::string* error, int access = 0);
/// The same for the file `name` in the folder open at `folderFd`.
int OpenRegularFileAt(int folderFd, const std::string& name, std::string* error, int access = 0);

/// Opens the regular file at `relative` beneath the open folder `folder`
/// for reading, one name at a time: never through a symbolic link in any
/// part, never above `folder` (".." and "." are refused). So a folder that
/// someone swaps for a link after it was listed yields nothing from the
/// link's target. The descriptor, or -1 with `error` set as for
/// OpenRegularFile.
int OpenRegularFileBeneath(int folder, std::string_view relative, std::string* error);

/// True when nothing is at `path` or a regular file is (links are not
/// followed); false with `error` (when given) set to the reason otherwise.
/// For readers that cannot open the file through OpenRegularFile.
bool IsRegularOrMissing(const std::string& path, std::string* error);

/// Reads the whole regular file at `path` (opened by OpenRegularFile) into
/// `contents`. False with `error` set on failure, and for a file of more
/// than `limit` bytes (read no further).
bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error, size_t limit = SIZE_MAX);

/// A short description of an errno value, in Japanese, for messages.
std::string ErrorText(int errorNumber);

} // namespace tessaly

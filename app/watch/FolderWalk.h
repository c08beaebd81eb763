// SPDX-License-Identifier: MIT
#pragma once

#include "watch/WalkResult.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// How a walk runs. Neither option changes which files are found or their
/// order.
struct WalkOptions {
    /// Threads that read folders at the same time (1 = the calling thread
    /// only). More than one pays off on large trees and cold caches.
    int threads = 1;
    /// Read each found file's creation and last-write times (one statx per
    /// matching file). Without it the times are kFileTimeZero.
    bool readTimes = true;
};

/// Lists the regular files under `folder` whose names match `pattern` (see
/// FileNamePattern), hidden files included, in the program's walk order: the
/// folder's own matching files in the order the file system lists them, then,
/// only when `subfolders` is numerically 1 ("1", " 1", "1.0"), each
/// subfolder's complete result in listing order (depth first). A symbolic link
/// to a regular file counts, with the target's times; links to folders are not
/// descended into. Paths are the folder text as given (without trailing "/"),
/// "/", the name, and so on down.
///
/// A folder that cannot be opened or read, `folder` itself included, is
/// left out and listed in the result's skipped folders with the reason; the
/// rest of the tree is walked. A file that cannot be examined (permission
/// denied, vanished, a dangling or looping link) is left out, and so is a
/// subfolder that disappears while the walk runs.
///
/// Gives nothing, with a one-line reason in *error (when given), only when
/// the walk cannot start: an invalid pattern, an empty folder text.
/// The result is the same for every thread count. Thread-safe.
/// True when a row's `subfolders` cell asks for the subfolders too: only a
/// value numerically 1. An empty or unknown value (a row saved before the
/// box was ever ticked, a hand-edited file) walks the folder alone.
bool WalksSubfolders(std::string_view subfolders);

/// The path by which a walk of `folder` names the folder itself, in its
/// skipped folders and as the start of every path: `folder` without
/// trailing "/" ("/" for the root).
std::string FolderWalkRoot(std::string_view folder);

std::optional<WalkResult> GetFilesMostDeep(const std::string& folder, const std::string& pattern,
                                           std::string_view subfolders, const WalkOptions& options = {},
                                           std::string* error = nullptr);

} // namespace tessaly

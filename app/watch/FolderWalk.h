// SPDX-License-Identifier: MIT
#pragma once

#include "watch/WalkResult.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

/// One matching file of a folder as a walk's filter sees it.
struct FoundFile {
    std::string_view name;
    FileInstant created;
    FileInstant written;
    uint64_t inode = 0;
    uint64_t size = 0;
    /// Whether the file goes into the walk's result; the filter decides.
    bool keep = true;
};

/// Decides, folder by folder as a walk reads them, which files go into its
/// result, so that a walk of a vast tree holds only the files that matter.
class WalkFilter {
public:
    virtual ~WalkFilter() = default;
    /// The matching files of `folder` (the path the walk's results begin
    /// with; "" for the root "/"), in listing order, once the folder was
    /// read completely; a folder that could not be read completely is not
    /// passed (it is among the skipped folders). Called from the walk's
    /// threads, several folders at once.
    virtual void filter(std::string_view folder, std::span<FoundFile> files) = 0;
};

/// How a walk runs. Neither the threads nor reading times change which
/// files are found or their order; a filter chooses among them.
struct WalkOptions {
    /// Threads that read folders at the same time (1 = the calling thread
    /// only). More than one pays off on large trees and cold caches.
    int threads = 1;
    /// Read each found file's creation and last-write times (one statx per
    /// matching file). Without it the times are kFileTimeZero.
    bool readTimes = true;
    /// Chooses the files of the result (with their identity read); none:
    /// every matching file. Must outlive the walk.
    WalkFilter* filter = nullptr;
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

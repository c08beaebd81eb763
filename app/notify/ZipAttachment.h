// SPDX-License-Identifier: MIT
#pragma once

#include "notify/ZipArchiver.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

/// One document packed into an archive of its own for an update mail.
struct ZipAttachment {
    std::string archivePath; ///< where the archive was made
    int64_t archiveSize = 0; ///< its size in bytes
    std::string resultText;  ///< ZipFiles' result: "OK" or a message
    /// Set when MakeZipAttachment failed because the zip component cannot
    /// be used at all (not installed, not loadable, or busy for another
    /// caller): no further document can be packed either. Clear after any
    /// other failure, which concerns this document only (missing,
    /// unreadable, or its archive could not be written).
    bool componentUnavailable = false;
};

/// The file name of the archive for the document named `documentName` (a
/// bare file name, any bytes): the name with every control character (bytes
/// below 0x20 and 0x7F), every "/" and every byte that is not part of
/// well-formed UTF-8 replaced by "_", then "(copy)" when `copy` is 2 or more,
/// then ".zip". The name is cut at a character boundary so that the whole
/// stays within NAME_MAX (255) bytes; an empty name becomes "_".
/// "a.doc" gives "a.doc.zip", with copy 2 "a.doc(2).zip".
std::string ArchiveNameFor(std::string_view documentName, int copy = 1);

/// Packs the document `sourcePath` (any bytes) into
/// "<dataFolder>/<archiveName>", by default ArchiveNameFor(its file name),
/// protected by `password` unless it is empty, and measures the archive. An
/// archive of that name left from an earlier run is replaced.
///
/// True when a fresh archive was made; `attachment` then holds its path and
/// size. False when the document is not a readable regular file (a symbolic
/// link is refused, whatever it points to), the packing failed
/// or no archive exists afterwards; an
/// archive left from an earlier run is never passed on as if it were the
/// new one. On failure `error` says why in Japanese: the component's
/// not-installed or busy text when `attachment->componentUnavailable` is
/// set, otherwise a text naming the document and the cause.
/// `attachment->resultText` holds ZipFiles' result ("" when the document was
/// refused before packing). Blocks until the component returns.
bool MakeZipAttachment(std::string_view sourcePath, std::string_view password, std::string_view dataFolder,
                       ZipArchiver& archiver, ZipAttachment* attachment, std::string* error,
                       std::string_view archiveName = {});

} // namespace tessaly

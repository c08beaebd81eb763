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
};

/// Packs the document `sourcePath` into "<dataFolder>/<archiveName>", by
/// default "<file name>.zip" (the extension is always appended: a.ZIP gives
/// a.ZIP.zip), protected by `password` unless it is empty, and measures the
/// archive. An archive of that name left from an earlier run is replaced.
///
/// True when a fresh archive was made; `attachment` then holds its path and
/// size. False, with `error` naming the cause, when the packing failed or no
/// archive exists afterwards; an archive left from an earlier run is never
/// passed on as if it were the new one. `attachment->resultText` holds
/// ZipFiles' result either way. Blocks until the component returns.
bool MakeZipAttachment(std::string_view sourcePath, std::string_view password, std::string_view dataFolder,
                       ZipArchiver& archiver, ZipAttachment* attachment, std::string* error,
                       std::string_view archiveName = {});

} // namespace tessaly

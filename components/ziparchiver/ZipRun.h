// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::zip {

/// The outcome of one packing: 0 or a failure code of TessalyZip.h, and a
/// message (empty on success unless -v asked for a report).
struct ZipResult {
    int32_t status = 0;
    std::string message;
};

/// Parses `commandLine` (paths as bytes), collects the inputs and writes the
/// archive. On any failure no archive is left at the archive path, and a
/// file that was already there is never touched. May throw std::bad_alloc.
ZipResult RunZip(std::string_view commandLine);

} // namespace tessaly::zip

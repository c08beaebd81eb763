// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string_view>

namespace tessaly::zip {

/// Writes `text` into `output` as UTF-8, NUL-terminated; a byte that is not
/// part of a UTF-8 character (from a path) becomes U+FFFD. A text that does
/// not fit is cut before the first character that would not fit whole, so
/// at most `outputSize` bytes are written, the NUL included.
/// Writes nothing when `output` is null or `outputSize` is not positive.
void PutOutput(std::string_view text, char* output, int32_t outputSize);

} // namespace tessaly::zip

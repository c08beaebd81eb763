// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// Decodes Shift-JIS (code page 932) bytes into UTF-8. Never fails: a byte
/// sequence that is not valid CP932 becomes "?" and decoding goes on with the
/// next byte. Thread-safe.
std::string Cp932ToUtf8(std::string_view bytes);

/// Encodes UTF-8 text as code page 932. Characters the code page cannot
/// represent, and bytes that are not valid UTF-8, become "?". When `lossless`
/// is given it is set to false if any such replacement happened. Thread-safe.
std::string Utf8ToCp932(std::string_view text, bool* lossless = nullptr);

/// True when every character of the UTF-8 text survives a round trip through
/// code page 932 unchanged.
bool IsCp932Representable(std::string_view text);

/// Appends code point `c` to `out` as UTF-8 (one to four bytes).
void AppendUtf8(std::string* out, char32_t c);

} // namespace tessaly

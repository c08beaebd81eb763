// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

/// Where a name holds a byte that does not start a valid UTF-8 sequence,
/// DecodeNameCharacter gives this value plus the byte: above the Unicode
/// range, so it equals only the same byte and never a real character.
inline constexpr char32_t kInvalidByteBase = 0x110000;

/// Decodes the character of `text` that starts at byte `pos` (< size) as
/// strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
/// and stores its length in bytes in *length. A byte that does not start a
/// valid sequence is one character of length 1: kInvalidByteBase + byte.
char32_t DecodeNameCharacter(std::string_view text, size_t pos, size_t* length);

/// The upper-case form of one Unicode code point as file-name matching sees
/// it: ASCII a-z, Latin-1 à-þ (not ÷), Greek α-ω, Cyrillic а-я and ѐ-џ,
/// full-width ａ-ｚ. Every other value, invalid-byte stand-ins included,
/// comes back unchanged.
char32_t UpperCodePoint(char32_t c);

/// `text` (UTF-8) upper-cased with UpperCodePoint. Bytes that are not valid
/// UTF-8 are kept as they are.
std::string UpperCaseName(std::string_view text);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// A path field of a data file (the subscription's folder, the folder and
/// file name of a history line) carries any Linux path, bytes and all.
///
/// A path with no comma, CR, LF or Tab, not beginning with "|", whose text
/// survives the round trip through code page 932 unchanged is written as
/// its code page 932 text, exactly as a Windows installation writes it. Any
/// other path is written as "|" and the path, in which "%", ",", CR, LF,
/// Tab, a leading "|", every character that does not survive the round trip
/// and every byte that is not UTF-8 become "%XX" per byte (upper-case hex,
/// the UTF-8 bytes of a character); the rest stays code page 932 text, so
/// the field stays readable. A Windows path never begins with "|".

/// The field bytes (code page 932) that stand for `path` (its bytes).
std::string EncodePathField(std::string_view path);

/// The path (its bytes) that the field bytes `field` (code page 932, as
/// read from a file) stand for. Never fails: bytes that are not code page
/// 932 become "?", and a "%" that is not followed by two hex digits stays
/// as it is.
std::string DecodePathField(std::string_view field);

/// True when `path` is written as plain code page 932 text, without the
/// escape.
bool IsPlainPathField(std::string_view path);

/// Appends `byte` as "%XX" (upper-case hex), the escape of path fields and of
/// the other percent-escaped texts; each decides itself which bytes it escapes.
void AppendPercentByte(std::string* out, unsigned char byte);

/// The byte that a "%XX" escape (hex digits of either case) at `at` in
/// `text` stands for; nullopt where none stands there.
std::optional<char> PercentByteAt(std::string_view text, size_t at);

/// `bytes` as valid UTF-8 for display: every byte that is not part of a
/// well-formed UTF-8 sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view bytes);

/// `text` as a message shows a value that came from elsewhere: on one line
/// (control characters become "?"), and past `maxBytes` cut before the
/// character that goes beyond, with "…".
std::string OneLineExcerpt(std::string_view text, size_t maxBytes);

} // namespace tessaly

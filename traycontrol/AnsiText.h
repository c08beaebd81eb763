// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

/// Texts in the notification-icon record are in the ANSI code page of the
/// shell, code page 932 (Shift-JIS).
namespace lumitray::AnsiText {

/// Encodes text as code page 932; characters it cannot represent become "?".
QByteArray Encode(const QString& text);
/// Decodes code page 932 bytes; invalid bytes become "?". Never fails.
QString Decode(const QByteArray& bytes);
/// The longest prefix of `bytes` of at most `maxBytes` bytes that does not
/// end in the middle of a double-byte character.
QByteArray CutOnCharacter(const QByteArray& bytes, std::size_t maxBytes);
/// Fills a fixed text field: the text cut to `size - 1` bytes on a character
/// boundary, one zero byte, then blanks to the end of the field.
void FillField(std::uint8_t* field, std::size_t size, const QString& text);
/// Reads a text field back: the bytes before the first zero, decoded.
QString ReadField(const std::uint8_t* field, std::size_t size);

} // namespace lumitray::AnsiText

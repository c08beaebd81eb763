// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

/// Texts of the Windows notification-icon record are in the ANSI code page
/// of the shell, code page 932 (Shift-JIS).
namespace lumitray::AnsiText {

/// Fills a fixed text field: the text as code page 932 (characters it cannot
/// represent become "?"), cut to `size - 1` bytes on a character boundary,
/// one zero byte, then blanks to the end of the field.
void FillField(std::uint8_t* field, std::size_t size, const QString& text);

} // namespace lumitray::AnsiText

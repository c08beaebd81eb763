// SPDX-License-Identifier: MIT
// Packing files into zip archives through the zip component.
#pragma once

#include "notify/ZipArchiver.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessaly {

/// The inputs of ZipFiles: nothing, one path (a file or a folder), or a list
/// of file paths.
using ZipInputs = std::variant<std::monostate, std::string, std::vector<std::string>>;

/// Result of ZipFiles when the inputs were packed or there was nothing to pack.
inline constexpr std::string_view kZipOk = "OK";
/// Result when the component cannot be found or loaded.
inline constexpr std::string_view kZipNotInstalled = "ZIP32J.dllがインストールされていません";
/// Result when the component is busy packing for another caller.
inline constexpr std::string_view kZipBusy = "ZIP32J処理中です。";
/// Result when a list of inputs holds a folder.
inline constexpr std::string_view kZipFolderInList = "複数指定時はフォルダは指定できません。";
/// First line of the result for an input that cannot be used; a CR, the
/// error number, a blank and the description follow.
inline constexpr std::string_view kZipBadInput = "入力ファイルが正しくありません。";

/// Packs `inputs` into the archive `*archivePath`, protected by `password`
/// unless it is empty, and returns "OK" or a message for the user.
///
/// The archive path is trimmed of blanks; a relative one is placed in
/// GetTempDir(); ".zip" is appended unless the name ends in it (any case).
/// The full path used is written back to `*archivePath`, or "" when there was
/// no input to pack; it is left unchanged when the component is not
/// installed. An input is trimmed of blanks unless it exists as given, and a
/// single input loses one trailing "/"; a single folder is packed with its
/// structure, files are stored under their bare names. A file already at the
/// archive path is deleted before packing. Paths and the password may hold
/// any bytes (blanks, quotes, Tab, line breaks, bytes that are not UTF-8);
/// they reach the component unchanged. Blocks until the component returns.
/// Every failure is reported as the result text, UTF-8.
std::string ZipFiles(std::string* archivePath, const ZipInputs& inputs, std::string_view password,
                     ZipArchiver& archiver);

/// The folder the install puts the program's components in, ending in "/".
std::string GetSystemDir();

/// The folder for temporary files ($TMPDIR when it is an absolute path,
/// otherwise /tmp), ending in "/".
std::string GetTempDir();

} // namespace tessaly

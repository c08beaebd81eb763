// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// True only when something exists at `path` that is a file of non-zero size.
bool FileHasContent(const std::string& path);

/// True when anything (file, folder, ...) exists at `path`.
bool PathExists(const std::string& path);

/// True when `path` names a folder (following symbolic links).
bool IsDirectory(const std::string& path);

/// The folder text, "/", and the name, joined without looking at either.
std::string JoinPath(std::string_view folder, std::string_view name);

/// Reads the whole file into `contents`. False with `error` set on failure.
bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error);

/// A short description of an errno value, in Japanese, for messages.
std::string ErrorText(int errorNumber);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// The part of `path` after its last "/"; a path without one is returned
/// whole. A backslash is an ordinary file-name character.
std::string FileNameOf(std::string_view path);

/// The folder part of `path`: the text before its last "/" ("" for a file
/// directly in the root, so that folder + "/" + name gives the path back).
/// A path without any "/" gives the process's current folder without a
/// trailing "/".
std::string FolderOf(std::string_view path);

} // namespace tessaly

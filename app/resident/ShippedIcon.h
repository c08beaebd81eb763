// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

/// The tray icon file in the data folder.
inline constexpr std::string_view kIconFileName = "norvikinfo.ico";
/// The largest icon file read; a larger one is refused, not read whole.
inline constexpr size_t kIconFileLimit = 64 * 1024 * 1024;

/// Writes the icon shipped with the program into `folder` when nothing of
/// that name is there yet (a new data folder); an existing file is never
/// touched, whatever it holds. True when the folder has the file afterwards;
/// false with `error` set when it could not be written.
bool InstallShippedIcon(const std::string& folder, std::string* error);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// The program's title, used as the caption of its message boxes.
inline constexpr std::string_view kProgramTitle = "Tessaly";

/// The program's version numbers, taken from the build.
struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

/// The version this program was built as.
ProgramVersion CurrentVersion();

/// The title, " Ver  " and the version without padding: "Tessaly Ver  1.2.0".
/// The main window's caption.
std::string VersionCaption();

/// The tray icon's tool tip: the version caption, one blank, then " 購読中…"
/// while watching is on or " -停止-" while it is off; " ﾁｪｯｸ中…" while a
/// check runs.
std::string TrayToolTip(bool watching, bool checking = false);

} // namespace tessaly

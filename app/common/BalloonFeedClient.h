// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The local socket through which other programs of the same user set the
/// balloon of the program running on data folder `folder`: in
/// $XDG_RUNTIME_DIR, else in a folder /tmp/tessaly-UID of mode 0700 (made
/// when `create` is true), named after the folder. The program and its
/// clients check that folder alike: one that is a link, belongs to another
/// user or can be entered by others is not used. Gives nothing with `error`
/// set when no private place for it can be had. No Qt.
std::optional<std::string> BalloonFeedSocketPath(const std::string& folder, bool create, std::string* error);

/// Sets the balloon of the program running on `folder`: `title` becomes
/// its title and `text` its text (texts in UTF-8), which shows the balloon
/// when balloons are on. False with `error` set when no program runs there
/// or it refused the texts.
bool SendBalloonFeed(const std::string& folder, std::string_view title, std::string_view text, std::string* error);

/// Asks the program running on `folder` to show its main window, as a
/// double click on its icon does (through the password prompt when one is
/// set). False with `error` set when no program answers there.
bool RequestMainWindow(const std::string& folder, std::string* error);

/// The first part of a request that is not a balloon: 0xFF, which no UTF-8
/// title holds, and the request's name; the second part is empty.
inline constexpr std::string_view kShowWindowRequest = "\xffshow";

/// The largest message the program accepts: title, text and two NULs.
inline constexpr size_t kBalloonFeedLimit = 64 * 1024;

} // namespace tessaly

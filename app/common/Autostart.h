// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace tessaly {

/// The user's autostart entry of the program (XDG autostart):
/// UserConfigFolder()/autostart/tessaly.desktop; "" when there is no
/// configuration folder (neither XDG_CONFIG_HOME nor HOME is set).
std::string AutostartEntryPath();

/// The text of the entry the program writes: it starts `tessaly` from the
/// PATH a few seconds after login.
std::string AutostartEntryText();

/// Whether the entry at `path` starts the program at login: the file exists
/// and has no `Hidden=true` line. Nothing, with `error` set, when a file is
/// there but cannot be read.
std::optional<bool> AutostartEnabled(const std::string& path, std::string* error);

/// Turns starting at login on (writes AutostartEntryText() atomically,
/// making the folders it needs; an entry already on is left as it is) or
/// off (removes the file; none there is success). False with `error` set
/// when the file could not be written or removed.
bool SetAutostart(const std::string& path, bool on, std::string* error);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace tessaly {

/// Shows `text` once as a desktop notification of the program (the
/// notification service of the session bus, org.freedesktop.Notifications:
/// app name and summary "Tessaly", the program's icon) and returns without
/// waiting for the user. False when no notification service answered
/// within a few seconds. Needs a Q(Core)Application.
bool ShowDesktopNotice(const std::string& text);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>

#include <chrono>
#include <string>

namespace tessaly {

/// Runs the program in the notification area on the desktop `app` opened,
/// with its data in `folder`, until the user or a stop signal ends it.
/// Returns the exit status (1 after a failed start-up).
int RunTrayProgram(QApplication& app, const std::string& folder, std::chrono::milliseconds minute);

} // namespace tessaly

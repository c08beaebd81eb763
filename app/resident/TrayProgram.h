// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindowFactory.h"
#include "resident/WindowContext.h"

#include <QApplication>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tessaly {

/// Makes the child windows of the main window for the program's context
/// (the program's own windows live in a layer above this one).
using MakeChildWindows = std::function<std::unique_ptr<ChildWindowFactory>(const WindowContext&)>;

/// Runs the program in the notification area on the desktop `app` opened,
/// with its data in `folder`, until the user or a stop signal ends it.
/// Returns the exit status (1 after a failed start-up).
int RunTrayProgram(QApplication& app, const std::string& folder, std::chrono::milliseconds minute,
                   const MakeChildWindows& makeWindows);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <string>

namespace tessaly {

/// Runs the program without a desktop in the event loop of `app`, with its
/// data in `folder`, until a stop signal (SIGTERM, SIGINT) ends it.
/// Balloons, those of check runs and those sent with `tessalyctl balloon`,
/// go to standard output, messages and questions (answered No) to standard
/// error. Returns the exit status.
int RunHeadlessProgram(QCoreApplication& app, const std::string& folder, std::chrono::milliseconds minute);

} // namespace tessaly

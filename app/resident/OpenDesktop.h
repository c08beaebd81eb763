// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>

#include <memory>

namespace tessaly {

/// Opens the desktop the environment names and gives the program's
/// QApplication, or nullptr when no display can be opened (no DISPLAY or
/// WAYLAND_DISPLAY, or a display that does not answer), so the caller can
/// run headless instead of being aborted by Qt. A platform chosen through
/// QT_QPA_PLATFORM is taken as it is, "offscreen" included.
std::unique_ptr<QApplication> OpenDesktop(int& argc, char** argv);

} // namespace tessaly

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
/// The application it gives speaks Japanese in Qt's own buttons and
/// dialogs (see InstallQtJapanese).
std::unique_ptr<QApplication> OpenDesktop(int& argc, char** argv);

/// Installs Qt's own Japanese translation (qtbase_ja.qm from Qt's
/// translations folder) into `app`, so that the stock buttons (はい,
/// いいえ, キャンセル) and dialogs are Japanese whatever the desktop's
/// language. False when the file is missing or unreadable; Qt's English
/// texts stay then.
bool InstallQtJapanese(QCoreApplication& app);

} // namespace tessaly

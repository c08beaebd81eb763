// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace tessaly {

/// Told once whether a document was opened, possibly after the call that
/// asked for it has returned; `reason` says in Japanese why it was not
/// (empty when it was opened).
using OpenResult = std::function<void(bool opened, const std::string& reason)>;

/// Opens a document with the program the desktop associates with it and
/// reports through `done` whether that worked. `pathBytes` is the path as
/// the file system has it, which need not be UTF-8. Windows take one so
/// tests can stand in for the desktop.
using DocumentOpener = std::function<void(const std::string& pathBytes, OpenResult done)>;

/// The desktop's own opener: reports false at once when no file or folder
/// exists at `pathBytes` (the desktop would report that only later, in a
/// window of its own), with the system's reason. Otherwise it runs the
/// desktop's opener program (xdg-open) without waiting for it and reports
/// whether it ended with exit status 0, else what its status means; a
/// program that cannot be started reports false. The program
/// gets a file URL in which every byte of the path outside ASCII letters,
/// digits and "/" is "%XX", so a name that is not UTF-8 reaches the very
/// file it names.
void OpenDocument(const std::string& pathBytes, OpenResult done);

} // namespace tessaly

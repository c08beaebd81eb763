// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace tessaly {

/// Opens a document with the program the desktop associates with it; true
/// when it was handed over. `pathBytes` is the path as the file system has
/// it, which need not be UTF-8. Windows take one so tests can stand in for
/// the desktop.
using DocumentOpener = std::function<bool(const std::string& pathBytes)>;

/// The desktop's own opener: false when no file or folder exists at
/// `pathBytes` (the desktop would report that only later, in a window of its
/// own) or when the desktop refuses the document; otherwise the document is
/// handed to the default application through QDesktopServices, without
/// waiting. The desktop gets a file URL in which every byte of the path
/// outside ASCII letters, digits and "/" is "%XX", so a name that is not
/// UTF-8 reaches the very file it names.
bool OpenDocument(const std::string& pathBytes);

} // namespace tessaly

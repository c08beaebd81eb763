// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

namespace tessaly {

/// Opens a document with the program the desktop associates with it; true
/// when it was handed over. Windows take one so tests can stand in for the
/// desktop.
using DocumentOpener = std::function<bool(const QString& path)>;

/// The desktop's own opener: false when no file or folder exists at `path`
/// (the desktop would report that only later, in a window of its own) or
/// when the desktop refuses the document; otherwise the document is handed
/// to the default application through QDesktopServices, without waiting.
bool OpenDocument(const QString& path);

} // namespace tessaly

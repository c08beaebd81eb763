// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindow.h"

class QWidget;

namespace tessaly {

/// Makes the child windows of the main window. Each call loads a fresh
/// window (its load step runs anew); the caller places it in the main
/// window, which owns and deletes it.
class ChildWindowFactory {
public:
    virtual ~ChildWindowFactory() = default;
    /// A new window of kind `kind`, never nullptr.
    virtual QWidget* create(ChildWindow kind) = 0;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindow.h"

#include <QWidget>

namespace tessaly {

/// An empty stand-in for a child window in the resident tests: the right
/// caption and a short note, nothing else.
class PlaceholderWindow final : public QWidget {
    Q_OBJECT

public:
    explicit PlaceholderWindow(ChildWindow kind, QWidget* parent = nullptr);

    ChildWindow kind() const { return m_kind; }

    /// The caption of a window of kind `kind`.
    static QString Caption(ChildWindow kind);

private:
    ChildWindow m_kind;
};

} // namespace tessaly

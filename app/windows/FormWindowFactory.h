// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindowFactory.h"
#include "resident/WindowContext.h"

namespace tessaly {

/// Makes the program's real child windows: the history list, the
/// subscription editor, the basic settings dialog and the about box, each
/// loaded anew on every call and working on the records of `context`.
/// Closes the child window `window`: its MDI frame when it sits in one
/// (which closes it too), else the window itself.
void CloseChildWindow(QWidget* window);

class FormWindowFactory final : public ChildWindowFactory {
public:
    /// `context` must outlive every window made.
    explicit FormWindowFactory(const WindowContext& context) : m_context(context) {}

    QWidget* create(ChildWindow kind) override;

private:
    WindowContext m_context;
};

} // namespace tessaly

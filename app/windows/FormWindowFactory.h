// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ChildWindowFactory.h"
#include "resident/WindowContext.h"

#include <functional>

class QKeyEvent;
class QWidget;

namespace tessaly {

/// Closes the child window `window`: its MDI frame when it sits in one
/// (which closes it too), else the window itself.
void CloseChildWindow(QWidget* window);

/// The keys a dialog-like child window takes from its boxes: Enter (plain
/// or on the keypad) calls `onEnter`, Escape closes the window. False for
/// any other key or any other modifier, which the window handles as usual.
bool HandleDialogKey(QWidget* window, const QKeyEvent* event, const std::function<void()>& onEnter);

/// Makes the program's real child windows: the history list, the
/// subscription editor, the basic settings dialog and the about box, each
/// loaded anew on every call and working on the records of `context`.
class FormWindowFactory final : public ChildWindowFactory {
public:
    /// `context` must outlive every window made.
    explicit FormWindowFactory(const WindowContext& context) : m_context(context) {}

    QWidget* create(ChildWindow kind) override;

private:
    WindowContext m_context;
};

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "windows/FormWindowFactory.h"

#include "windows/FormConfig.h"
#include "windows/FormList.h"
#include "windows/FormParam.h"
#include "windows/SystemInfoTool.h"
#include "windows/frmAbout.h"

#include <QKeyEvent>
#include <QMdiSubWindow>

namespace tessaly {

void CloseChildWindow(QWidget* window)
{
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->close();
    else
        window->close();
}

bool HandleDialogKey(QWidget* window, const QKeyEvent* event, const std::function<void()>& onEnter)
{
    if (event->modifiers() & ~(Qt::KeypadModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: onEnter(); return true;
    case Qt::Key_Escape: CloseChildWindow(window); return true;
    default: return false;
    }
}

QWidget* FormWindowFactory::create(ChildWindow kind)
{
    switch (kind) {
    case ChildWindow::FormList: return new FormList(m_context);
    case ChildWindow::FormConfig: return new FormConfig(m_context);
    case ChildWindow::FormParam: return new FormParam(m_context);
    case ChildWindow::frmAbout: return new frmAbout(m_context.messages, StartSysInfo);
    }
    return new frmAbout(m_context.messages, StartSysInfo);
}

} // namespace tessaly

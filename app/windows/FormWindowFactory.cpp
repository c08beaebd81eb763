// SPDX-License-Identifier: MIT
#include "windows/FormWindowFactory.h"

#include "windows/FormConfig.h"
#include "windows/FormList.h"
#include "windows/FormParam.h"
#include "windows/SystemInfoTool.h"
#include "windows/frmAbout.h"

namespace tessaly {

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

// SPDX-License-Identifier: MIT
#include "traycontrol/TrayMenu.h"

#include <QActionEvent>

namespace lumitray {

TrayMenu::TrayMenu(QMenu* source)
{
    setObjectName(QStringLiteral("trayMenu"));
    setSource(source);
}

TrayMenu::~TrayMenu()
{
    if (m_source)
        m_source->removeEventFilter(this);
}

void TrayMenu::setSource(QMenu* source)
{
    if (m_source == source)
        return;
    if (m_source)
        m_source->removeEventFilter(this);
    m_source = source;
    if (m_source)
        m_source->installEventFilter(this);
    follow();
}

bool TrayMenu::eventFilter(QObject* watched, QEvent* event)
{
    // The source has already changed its list when it hears of the change.
    // A deleted action leaves every menu by itself.
    if (watched == m_source && (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved))
        follow();
    return QMenu::eventFilter(watched, event);
}

void TrayMenu::follow()
{
    // The actions belong to the source: removing them here never deletes them.
    for (QAction* action : actions())
        removeAction(action);
    if (QMenu* menu = source())
        addActions(menu->actions());
}

} // namespace lumitray

// SPDX-License-Identifier: MIT
#include "traycontrol/ControlSite.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace lumitray {

void ControlSite::showCriticalMessage(const QString& text)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QString(), text, QMessageBox::Ok);
}

} // namespace lumitray

// SPDX-License-Identifier: MIT
#include "windows/SystemInfoTool.h"

#include <QProcess>
#include <QStandardPaths>

namespace tessaly {

const QStringList& SystemInfoProgramNames()
{
    static const QStringList names{QStringLiteral("kinfocenter"), QStringLiteral("hardinfo2"),
                                   QStringLiteral("hardinfo")};
    return names;
}

QString FindSystemInfoTool()
{
    for (const QString& name : SystemInfoProgramNames()) {
        QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool StartSysInfo()
{
    const QString path = FindSystemInfoTool();
    return !path.isEmpty() && QProcess::startDetached(path, {});
}

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

namespace tessaly {

/// The desktop's system-information programs the about box looks for, in
/// the order it tries them.
const QStringList& SystemInfoProgramNames();

/// The full path of the first system-information program found on the
/// search path (PATH), or "" when there is none.
QString FindSystemInfoTool();

/// Starts the system-information program as a process of its own, without
/// waiting for it. False when none is found or it cannot be started.
bool StartSysInfo();

} // namespace tessaly

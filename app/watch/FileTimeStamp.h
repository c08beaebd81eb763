// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"
#include "watch/WalkResult.h"

#include <string>
#include <sys/stat.h>

namespace tessaly {

/// What a walk asks statx for: the type and the three times the creation
/// and last-write times are made from, nothing else.
inline constexpr unsigned kFileTimeStatxMask = STATX_TYPE | STATX_BTIME | STATX_MTIME | STATX_CTIME;

/// The creation instant of a statx record: the birth time when the file
/// system reported it, else the status-change time.
FileInstant CreatedInstantOf(const struct statx& status);

/// The last-write instant (mtime) of a statx record.
FileInstant WrittenInstantOf(const struct statx& status);

/// Reads the creation, last-write and last-access times of the file at
/// `path` (symbolic links followed) in local time, each with the time-zone
/// rules of its own date and with sub-second precision. A path that cannot
/// be examined (it does not exist, for one) gives kFileTimeZero (1 January
/// 1601) for all three. Never fails; any pointer may be null.
void GetFileTimeStamp(const std::string& path, AutomationDate* created, AutomationDate* written,
                      AutomationDate* accessed);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#pragma once

#include "common/AutomationDate.h"

#include <string>
#include <sys/stat.h>

namespace tessaly {

class LocalTimeConverter;

/// What a walk asks statx for: the type and the three times the creation
/// and last-write times are made from, nothing else.
inline constexpr unsigned kFileTimeStatxMask = STATX_TYPE | STATX_BTIME | STATX_MTIME | STATX_CTIME;

/// The creation time of a statx record in local time: the birth time when
/// the file system reported it, else the status-change time. `converter`
/// (one per thread) makes converting many files cheaper; without one the
/// time is converted directly.
AutomationDate CreatedTimeOf(const struct statx& status, LocalTimeConverter* converter = nullptr);

/// The last-write time (mtime) of a statx record in local time.
AutomationDate WrittenTimeOf(const struct statx& status, LocalTimeConverter* converter = nullptr);

/// Reads the creation, last-write and last-access times of the file at
/// `path` (symbolic links followed) in local time, each with the time-zone
/// rules of its own date and with sub-second precision. A path that cannot
/// be examined (it does not exist, for one) gives kFileTimeZero (1 January
/// 1601) for all three. Never fails; any pointer may be null.
void GetFileTimeStamp(const std::string& path, AutomationDate* created, AutomationDate* written,
                      AutomationDate* accessed);

} // namespace tessaly

// SPDX-License-Identifier: MIT
#include "watch/FileTimeStamp.h"

#include <fcntl.h>

namespace tessaly {
namespace {

FileInstant InstantOf(const struct statx_timestamp& time)
{
    return FileInstant{time.tv_sec, time.tv_nsec};
}

AutomationDate LocalTimeOf(const struct statx_timestamp& time)
{
    return AutomationDateFromUnix(time.tv_sec, static_cast<long>(time.tv_nsec));
}

void Store(AutomationDate* target, AutomationDate value)
{
    if (target)
        *target = value;
}

/// Many file systems (and older kernels) do not keep a birth time; the
/// status-change time is the closest thing they have.
const struct statx_timestamp& CreationStamp(const struct statx& status)
{
    return (status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime : status.stx_ctime;
}

} // namespace

FileInstant CreatedInstantOf(const struct statx& status)
{
    return InstantOf(CreationStamp(status));
}

FileInstant WrittenInstantOf(const struct statx& status)
{
    return InstantOf(status.stx_mtime);
}

void GetFileTimeStamp(const std::string& path, AutomationDate* created, AutomationDate* written,
                      AutomationDate* accessed)
{
    struct statx status {};
    unsigned mask = kFileTimeStatxMask | STATX_ATIME;
    if (path.empty() || ::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, mask, &status) != 0) {
        Store(created, kFileTimeZero);
        Store(written, kFileTimeZero);
        Store(accessed, kFileTimeZero);
        return;
    }
    Store(created, LocalTimeOf(CreationStamp(status)));
    Store(written, LocalTimeOf(status.stx_mtime));
    Store(accessed, LocalTimeOf(status.stx_atime));
}

} // namespace tessaly

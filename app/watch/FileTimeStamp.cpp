// SPDX-License-Identifier: MIT
#include "watch/FileTimeStamp.h"

#include "watch/LocalTimeConverter.h"

#include <fcntl.h>

namespace tessaly {
namespace {

AutomationDate Convert(const struct statx_timestamp& time, LocalTimeConverter* converter)
{
    auto nanoseconds = static_cast<long>(time.tv_nsec);
    return converter ? converter->convert(time.tv_sec, nanoseconds)
                     : AutomationDateFromUnix(time.tv_sec, nanoseconds);
}

void Store(AutomationDate* target, AutomationDate value)
{
    if (target)
        *target = value;
}

} // namespace

AutomationDate CreatedTimeOf(const struct statx& status, LocalTimeConverter* converter)
{
    // Many file systems (and older kernels) do not keep a birth time; the
    // status-change time is the closest thing they have.
    bool hasBirth = (status.stx_mask & STATX_BTIME) != 0;
    return Convert(hasBirth ? status.stx_btime : status.stx_ctime, converter);
}

AutomationDate WrittenTimeOf(const struct statx& status, LocalTimeConverter* converter)
{
    return Convert(status.stx_mtime, converter);
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
    Store(created, CreatedTimeOf(status));
    Store(written, WrittenTimeOf(status));
    Store(accessed, Convert(status.stx_atime, nullptr));
}

} // namespace tessaly

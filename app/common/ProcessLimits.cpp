// SPDX-License-Identifier: MIT
#include "common/ProcessLimits.h"

#include <csignal>
#include <sys/resource.h>

namespace tessaly {

void PrepareProcessLimits()
{
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace tessaly

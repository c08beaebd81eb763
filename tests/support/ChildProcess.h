// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <sys/types.h>

namespace tessaly::test {

/// Runs `body` in a forked child and returns its result (0..255), or -1
/// when the child died. `limitFileSize`, when non-zero, caps the size of any
/// file the child writes (RLIMIT_FSIZE; writes beyond fail with EFBIG).
/// `unprivileged` drops root to the user and group "nobody" first, so that
/// permission bits stop it as they stop a user.
int RunInChild(const std::function<int()>& body, off_t limitFileSize = 0, bool unprivileged = false);

} // namespace tessaly::test

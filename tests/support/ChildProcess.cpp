// SPDX-License-Identifier: MIT
#include "support/ChildProcess.h"

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::test {

int RunInChild(const std::function<int()>& body, off_t limitFileSize, bool unprivileged)
{
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (limitFileSize > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(limitFileSize), static_cast<rlim_t>(limitFileSize)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(250);
        }
        if (unprivileged && ::geteuid() == 0) {
            const uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(251);
        }
        ::_exit(body() & 0xff);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tessaly::test

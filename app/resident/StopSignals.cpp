// SPDX-License-Identifier: MIT
#include "resident/StopSignals.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

int g_writeFd = -1;
std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int)
{
    g_stop = true;
    const int saved = errno;
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe already says "stop".
    [[maybe_unused]] const ssize_t ignored = ::write(g_writeFd, &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    g_writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A hang-up ends the program the same way, unless it was started to
    // outlive its terminal (nohup leaves SIGHUP ignored).
    struct sigaction hangUp {};
    if (::sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        ::sigaction(SIGHUP, &action, nullptr);
}

StopSignals& StopSignals::Install()
{
    static StopSignals instance;
    return instance;
}

bool StopSignals::stopRequested() const
{
    return g_stop;
}

} // namespace tessaly

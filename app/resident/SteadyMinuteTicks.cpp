// SPDX-License-Identifier: MIT
#include "resident/SteadyMinuteTicks.h"

#include <cerrno>
#include <poll.h>

namespace tessaly {

using Clock = std::chrono::steady_clock;

SteadyMinuteTicks::SteadyMinuteTicks(std::chrono::milliseconds period, int stopFd)
    : m_period(period), m_stopFd(stopFd), m_deadline(Clock::now() + period)
{
}

bool SteadyMinuteTicks::nextTick()
{
    if (m_deadline <= Clock::now()) {
        // Missed while a check run held the thread: one tick now.
        m_deadline = Clock::now() + m_period;
        return waitUntil(Clock::now());
    }
    if (!waitUntil(m_deadline))
        return false;
    m_deadline += m_period;
    return true;
}

void SteadyMinuteTicks::waitForStop()
{
    waitUntil(Clock::time_point::max());
}

bool SteadyMinuteTicks::waitUntil(Clock::time_point deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        pollfd stop{m_stopFd, POLLIN, 0};
        const int ready = ::poll(&stop, m_stopFd >= 0 ? 1 : 0, timeout);
        if (ready > 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0 && timeout >= 0 && Clock::now() >= deadline)
            return true;
    }
}

} // namespace tessaly

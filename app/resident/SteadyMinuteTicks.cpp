// SPDX-License-Identifier: MIT
#include "resident/SteadyMinuteTicks.h"

#include "resident/LiveChecks.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>
#include <poll.h>

namespace tessaly {

using Clock = std::chrono::steady_clock;

/// No live check waits.
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

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

bool SteadyMinuteTicks::waitUntil(Clock::time_point deadline)
{
    const auto milliseconds = [](Clock::time_point at) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    };
    for (;;) {
        // Whichever comes first: the tick, or a live check falling due.
        Clock::time_point wakeUp = deadline;
        const int64_t due = m_live ? m_live->nextDue().value_or(kNever) : kNever;
        if (due != kNever)
            wakeUp = std::min(wakeUp, Clock::time_point(std::chrono::milliseconds(due)));
        int timeout = -1;
        if (wakeUp != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeUp - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        pollfd fds[3] = {{m_stopFd, POLLIN, 0}, {m_live ? m_live->fd() : -1, POLLIN, 0}, {m_watchFd, POLLIN, 0}};
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0 && (fds[0].revents & POLLIN) != 0)
            return false;
        if (ready > 0 && (fds[1].revents & POLLIN) != 0)
            m_live->readEvents(milliseconds(Clock::now()));
        if (ready > 0 && (fds[2].revents & POLLIN) != 0 && m_watchReadable)
            m_watchReadable();
        if (m_live && due != kNever && milliseconds(Clock::now()) >= due)
            m_live->runDue(milliseconds(Clock::now()));
        if (deadline != Clock::time_point::max() && Clock::now() >= deadline)
            return true;
    }
}

} // namespace tessaly

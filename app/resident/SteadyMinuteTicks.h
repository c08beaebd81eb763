// SPDX-License-Identifier: MIT
#pragma once

#include "resident/MinuteTicks.h"

#include <chrono>
#include <functional>

namespace tessaly {

class LiveChecks;

/// Ticks every `period` on the steady clock, counted from construction, and
/// stops as soon as `stopFd` becomes readable; live checks and a watched
/// descriptor are served in between. Like a window timer it never
/// delivers a backlog: a tick missed while the thread was busy comes once,
/// right away, and the next one a whole period later.
class SteadyMinuteTicks final : public MinuteTicks {
public:
    SteadyMinuteTicks(std::chrono::milliseconds period, int stopFd);

    bool nextTick() override;
    /// Live checks to serve while waiting: their events are read as they
    /// come and their checks run when due, on this thread. May be null;
    /// must outlive the ticks.
    void setLiveChecks(LiveChecks* live) { m_live = live; }
    /// A descriptor to watch while waiting: `readable` is called on this
    /// thread whenever it can be read (and must read it).
    void setWatch(int fd, std::function<void()> readable)
    {
        m_watchFd = fd;
        m_watchReadable = std::move(readable);
    }

private:
    /// Waits until `deadline` (forever when it is max()). False when stopped.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);

    std::chrono::milliseconds m_period;
    int m_stopFd;
    std::chrono::steady_clock::time_point m_deadline;
    LiveChecks* m_live = nullptr;
    int m_watchFd = -1;
    std::function<void()> m_watchReadable;
};

} // namespace tessaly

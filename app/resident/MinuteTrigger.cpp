// SPDX-License-Identifier: MIT
#include "resident/MinuteTrigger.h"

#include "resident/CheckRunner.h"
#include "settings/BasicSettings.h"

namespace tessaly {

MinuteTrigger::MinuteTrigger(const BasicSettings& settings, CheckRunner& runner)
    : m_settings(settings), m_runner(runner)
{
}

void MinuteTrigger::tick()
{
    ++m_minuteCount;
    if (!IntervalReached(m_minuteCount, m_settings.Conf_Interval))
        return;
    // Ticks while a run is in progress only raise the count; it starts
    // again from 0 once the run has ended.
    m_runner.run([this](bool) { m_minuteCount = 0; });
}

bool MinuteTrigger::IntervalReached(int count, std::string_view interval)
{
    if (interval.empty() || interval.size() > 9 || interval.front() == '0')
        return false;
    int minutes = 0;
    for (char c : interval) {
        if (c < '0' || c > '9')
            return false;
        minutes = minutes * 10 + (c - '0');
    }
    return count >= minutes;
}

} // namespace tessaly
